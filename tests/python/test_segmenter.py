"""lumotext.Segmenter: results against pylumotext.Jieba, the full mode, tags,
offsets, keywords worked out by hand, user words, batches and their errors."""

from __future__ import annotations

import collections
import os
import pathlib
import signal
import subprocess
import sys
import threading
import time

import pytest

import lumotext
import pylumotext
import pylumotext_data
from jieba_data import write_data

SENTENCES = [
    "",
    "他喜欢贝多芬的音乐，也常听Python 3.11的播客。",
    "澳大利亚的面积约为七百七十万平方公里",
    "中华人民共和国成立于1949年10月1日 \t新华社北京电",
    "x😀y é中国ü\r\n\ufeff标题",
]
MODES = ["default", "search", "full"]


@pytest.fixture(scope="module")
def default_segmenter() -> lumotext.Segmenter:
    return lumotext.Segmenter()


@pytest.fixture(scope="module")
def default_jieba() -> pylumotext.Jieba:
    return pylumotext.Jieba(**pylumotext_data.paths())


@pytest.fixture()
def paths(tmp_path: pathlib.Path) -> dict[str, str]:
    return write_data(tmp_path)


@pytest.mark.parametrize("sentence", SENTENCES)
def test_cut_and_search_equal_pylumotext(default_segmenter: lumotext.Segmenter,
                                         default_jieba: pylumotext.Jieba, sentence: str) -> None:
    assert default_segmenter.cut(sentence) == default_jieba.cut(sentence)
    assert default_segmenter.cut_for_search(sentence) == default_jieba.cut_for_search(sentence)


@pytest.mark.parametrize(("method", "text", "expected"), [
    ("cut", "我爱北京大学，中国人民", ["我", "爱", "北京大学", "，", "中国人民"]),
    ("cut_for_search", "我爱北京大学，中国人民",
     ["我", "爱", "北京", "大学", "北京大学", "，", "中国", "人民", "中国人", "中国人民"]),
    # Overlapping dictionary words by start then end; single runes only where no
    # word covers them.
    ("cut_all", "我爱北京大学，中国人民", ["我", "爱", "北京", "北京大学", "大学", "，", "中国", "中国人", "中国人民", "人民"]),
    ("tag", "我爱北京大学，中国人民", [("我", "r"), ("爱", "v"), ("北京大学", "nt"), ("，", "x"), ("中国人民", "nt")]),
    # No dictionary tag: digits only "m", other ASCII "eng", one rune "x".
    ("tag", "abc a1 2024 7",
     [("abc", "eng"), (" ", "x"), ("a1", "eng"), (" ", "x"), ("2024", "m"), (" ", "x"), ("7", "x")]),
    ("tag", "", []),
    # Offsets count code points, not UTF-8 bytes or UTF-16 units.
    ("tokenize", "😀中国人", [("😀", 0, 1), ("中国", 1, 3), ("中国人", 1, 4)]),
])
def test_modes_and_tags_on_hand_made_data(paths: dict[str, str], method: str, text: str,
                                          expected: list[object]) -> None:
    segmenter = lumotext.Segmenter(**paths)
    kwargs = {"mode": "search"} if method == "tokenize" else {}
    assert getattr(segmenter, method)(text, **kwargs) == expected


@pytest.mark.parametrize("mode", MODES)
@pytest.mark.parametrize("text", SENTENCES)
def test_tokenize_offsets_are_str_offsets(default_segmenter: lumotext.Segmenter, mode: str, text: str) -> None:
    tokens = default_segmenter.tokenize(text, mode=mode)  # type: ignore[arg-type]
    words = {"default": default_segmenter.cut, "search": default_segmenter.cut_for_search,
             "full": default_segmenter.cut_all}[mode](text)
    assert [word for word, _, _ in tokens] == words
    assert all(text[start:end] == word for word, start, end in tokens)


def write_keyword_data(directory: pathlib.Path) -> dict[str, str]:
    paths = write_data(directory)
    pathlib.Path(paths["idf_path"]).write_text("中国 2.5\n人民 3\n北京 0.5\n", encoding="utf-8")
    pathlib.Path(paths["stop_word_path"]).write_text("北京\n的\n", encoding="utf-8")
    return paths


@pytest.mark.parametrize(("top_k", "expected"), [
    # Candidates: 中国 x2, 人民, 大学, 中国人 (北京 is a stop word, 我 too short),
    # n = 5; idf average (2.5 + 3 + 0.5) / 3 = 2.0 for 大学 and 中国人; the tie
    # of 中国人 and 大学 goes to the smaller word.
    (None, [("中国", (2 / 5) * 2.5), ("人民", (1 / 5) * 3.0), ("中国人", (1 / 5) * 2.0), ("大学", (1 / 5) * 2.0)]),
    (2, [("中国", (2 / 5) * 2.5), ("人民", (1 / 5) * 3.0)]),
    (0, []),
])
def test_keywords_by_hand(tmp_path: pathlib.Path, top_k: int | None, expected: list[tuple[str, float]]) -> None:
    segmenter = lumotext.Segmenter(**write_keyword_data(tmp_path))
    text = "中国，人民，中国，北京，大学，我，中国人"
    assert segmenter.extract_keywords(text, top_k=top_k, with_weights=True) == expected
    assert segmenter.extract_keywords(text, top_k) == [word for word, _ in expected]


def test_user_words_and_dictionary_lists(paths: dict[str, str], tmp_path: pathlib.Path) -> None:
    second = tmp_path / "second.txt"
    second.write_text("丙丁 n\n", encoding="utf-8")
    segmenter = lumotext.Segmenter(**{**paths, "user_dict_path": [paths["user_dict_path"], second]},
                                   user_words=["我爱", ("乙丙", 5000, "nz"), ("学我", None, "v")])
    assert segmenter.cut("我爱甲乙丙丁") == ["我爱", "甲乙", "丙丁"]
    assert segmenter.tag("乙丙，学我") == [("乙丙", "nz"), ("，", "x"), ("学我", "v")]
    assert lumotext.Segmenter(**paths).cut("我爱丙丁") == ["我", "爱", "丙", "丁"]
    assert lumotext.Segmenter(**{**paths, "user_dict_path": []}).cut("甲乙") == ["甲", "乙"]


@pytest.mark.parametrize(("user_words", "error", "message"), [
    (["a b"], ValueError, r"user_words\[0\]: the word"),
    (["ok", ("x", 0)], ValueError, r"user_words\[1\]: the frequency"),
    ([("x", 1, "a b")], ValueError, r"user_words\[0\]: the tag"),
    ([("x",)], TypeError, r"user_words\[0\] must be"),
    ("区块链", TypeError, "not a single str"),
])
def test_bad_user_words(paths: dict[str, str], user_words: object, error: type, message: str) -> None:
    with pytest.raises(error, match=message):
        lumotext.Segmenter(**paths, user_words=user_words)  # type: ignore[arg-type]


@pytest.mark.parametrize("mode", MODES)
@pytest.mark.parametrize("threads", [1, 2, 5])
def test_cut_batch_equals_per_text_calls(default_segmenter: lumotext.Segmenter, mode: str, threads: int) -> None:
    # Every storage width: 1 byte (ASCII and not), 2 and 4; "ab" and "\u6261"
    # are stored in the same two bytes, at widths 1 and 2.
    texts = SENTENCES * 7 + ["café naïve", "ab", "\u6261", "ab \u6261 ab"]
    single = {"default": default_segmenter.cut, "search": default_segmenter.cut_for_search,
              "full": default_segmenter.cut_all}[mode]
    assert default_segmenter.cut_batch(iter(texts), mode=mode, threads=threads) == [  # type: ignore[arg-type]
        single(text) for text in texts]


# The engine serves an exact str and int mode by position directly; other
# forms of the call go through the general dispatch, with the same words, and
# a bad mode raises there.
@pytest.mark.parametrize("text", [SENTENCES[1], SENTENCES[4], "中国人民站起来了。" * 100])
def test_engine_cut_forms_agree(default_segmenter: lumotext.Segmenter, text: str) -> None:
    engine = default_segmenter._engine  # noqa: SLF001
    for mode, cut in enumerate([default_segmenter.cut, default_segmenter.cut_for_search, default_segmenter.cut_all]):
        assert engine.cut(text, mode) == engine.cut(text=text, mode=mode) == cut(text) \
            == default_segmenter.cut_batch([text], mode=MODES[mode])[0]
    for mode, error in ((3, ValueError), (-1, ValueError), (2**70, TypeError)):
        with pytest.raises(error, match="mode must be 0, 1 or 2" if error is ValueError else "incompatible"):
            engine.cut(text, mode)


@pytest.mark.parametrize("threads", [1, 2])
def test_cut_batch_tables_grow_past_the_room_they_start_with(default_segmenter: lumotext.Segmenter,
                                                           threads: int) -> None:
    # One distinct word per text: far more words than a quarter of the
    # batch's characters, in one- and two-byte text.
    texts = [chr(0x4E00 + i) for i in range(300)] + [f"w{i}" for i in range(300)] + ["中国"] * 50
    batch = default_segmenter.cut_batch(texts, threads=threads)
    assert batch == [default_segmenter.cut(text) for text in texts]
    assert batch[-1][0] is batch[-2][0]


@pytest.mark.parametrize("threads", [1, 2])
def test_cut_batch_words_hold_one_reference_per_use(default_segmenter: lumotext.Segmenter, threads: int) -> None:
    batch = default_segmenter.cut_batch(["中国，中国人民", "中国"] * 20, threads=threads)
    uses = collections.Counter(id(word) for words in batch for word in words)
    objects = {id(word): word for words in batch for word in words}
    for key in list(objects):
        word = objects[key]
        # The dict, the name and the argument, and the short-word cache's own.
        assert sys.getrefcount(word) == uses[key] + 3 + 1


@pytest.mark.parametrize(("texts", "kwargs", "error", "message"), [
    (["a", "b", 3], {}, TypeError, r"^texts\[2\] must be str, not int$"),
    (["a", "b\ud800"], {}, ValueError, r"^texts\[1\]: 'utf-8' codec can't encode"),
    (["中", "b\ud800", "c", "\udfff"] * 50, {"threads": 2}, ValueError, r"^texts\[1\]: 'utf-8' codec can't encode"),
    (["a"], {"threads": 0}, ValueError, "threads must be at least 1, not 0"),
    (["a"], {"mode": "fast"}, ValueError, "mode must be 'default', 'search' or 'full', not 'fast'"),
    (3, {}, TypeError, "not iterable"),
])
def test_cut_batch_errors(default_segmenter: lumotext.Segmenter, texts: object, kwargs: dict[str, object],
                          error: type, message: str) -> None:
    with pytest.raises(error, match=message):
        default_segmenter.cut_batch(texts, **kwargs)  # type: ignore[arg-type]


@pytest.mark.parametrize("method", ["cut", "cut_for_search", "cut_all", "tag", "tokenize", "extract_keywords"])
@pytest.mark.parametrize("text, error, message", [
    ("中国".encode(), TypeError, "^text must be str, not bytes$"),
    ("中国\udfff", UnicodeEncodeError, "can't encode character '\\\\udfff' in position 2"),
])
def test_text_must_be_str_with_utf8(default_segmenter: lumotext.Segmenter, method: str, text: object,
                                    error: type, message: str) -> None:
    with pytest.raises(error, match=message):
        getattr(default_segmenter, method)(text)


@pytest.mark.parametrize("threads", [1, 2])  # on the calling thread, and on workers
def test_cut_batch_stops_on_ctrl_c(default_segmenter: lumotext.Segmenter, threads: int) -> None:
    texts = ["中华人民共和国成立了，" * 40] * 200_000  # far more than a second of work
    sent = []

    def interrupt() -> None:
        time.sleep(0.3)
        sent.append(time.perf_counter())
        os.kill(os.getpid(), signal.SIGINT)

    ticks = []
    stop = threading.Event()

    def heartbeat() -> None:
        while not stop.is_set():
            ticks.append(1)
            time.sleep(0.01)

    threading.Thread(target=interrupt).start()
    beat = threading.Thread(target=heartbeat)
    beat.start()
    try:
        with pytest.raises(KeyboardInterrupt):
            default_segmenter.cut_batch(texts, threads=threads)
        stopped = time.perf_counter()
    finally:
        stop.set()
        beat.join()
    # The whole batch takes several seconds; stopping takes a few
    # milliseconds, with room left for a loaded machine.
    assert stopped - sent[0] < 2.0
    assert len(ticks) >= 10  # other Python threads ran while the batch did


def test_repr_docstrings_and_version(paths: dict[str, str]) -> None:
    assert repr(lumotext.Segmenter()) == "Segmenter()"
    custom = lumotext.Segmenter(dict_path=paths["dict_path"], user_dict_path="", user_words=["甲乙"])
    assert repr(custom) == f"Segmenter(dict_path={paths['dict_path']!r}, user_dict_path=[], user_words=<1 words>)"
    assert lumotext.__version__ == "0.1.0"
    for name in lumotext.__all__:
        assert getattr(lumotext, name).__doc__ or name == "__version__"
    public = [m for m in vars(lumotext.Segmenter) if not m.startswith("_")]
    assert all(getattr(lumotext.Segmenter, m).__doc__ for m in public)


def test_quickstart_ranks_the_beethoven_documents_first() -> None:
    script = pathlib.Path(__file__).resolve().parents[2] / "examples" / "lumotext_quickstart.py"
    output = subprocess.run([sys.executable, str(script)], capture_output=True, text=True, check=True).stdout
    ranking = [line for line in output.splitlines() if line[:3] in ("1. ", "2. ")]
    assert [line.split()[-1][:3] for line in ranking] == ["维也纳", "贝多芬"]
