"""The Jieba class: construction, cut and cut_for_search on hand-made data."""

from __future__ import annotations

import collections
import pathlib
import random
import re
import sys
import weakref

import pytest

import pylumotext
from jieba_data import write_data

ARGUMENT_NAMES = ["dict_path", "hmm_path", "user_dict_path", "idf_path", "stop_word_path"]


@pytest.fixture()
def paths(tmp_path: pathlib.Path) -> dict[str, str]:
    return write_data(tmp_path)


@pytest.fixture()
def jieba(paths: dict[str, str]) -> pylumotext.Jieba:
    return pylumotext.Jieba(**paths)


@pytest.mark.parametrize(
    ("sentence", "cut", "cut_for_search"),
    [
        ("", [], []),
        ("我爱北京大学", ["我", "爱", "北京大学"], ["我", "爱", "北京", "大学", "北京大学"]),
        ("中国人民", ["中国人民"], ["中国", "人民", "中国人", "中国人民"]),
        ("北京 大学", ["北京", " ", "大学"], ["北京", " ", "大学"]),
        ("中国人", ["中国人"], ["中国", "中国人"]),
        # The user word, and runes that the HMM leaves alone.
        ("甲乙丙丁", ["甲乙", "丙", "丁"], ["甲乙", "丙", "丁"]),
        # Separators are words of their own; ASCII runs by the fixed rules.
        ("abc 3.14\t北京，大学。", ["abc", " ", "3.14", "\t", "北京", "，", "大学", "。"],
         ["abc", " ", "3.14", "\t", "北京", "，", "大学", "。"]),
        ("  ", [" ", " "], [" ", " "]),
        ("\n", ["\n"], ["\n"]),
    ],
)
def test_cut_and_cut_for_search(jieba: pylumotext.Jieba, sentence: str, cut: list[str],
                                cut_for_search: list[str]) -> None:
    assert jieba.cut(sentence) == cut
    assert jieba.cut_for_search(sentence) == cut_for_search


@pytest.mark.parametrize(
    "sentence",
    ["我爱北京大学", "x😀y", "é中国ü", "中国" * 1000, "a\u0000b", "\ufeff中国", "中\r\n国"],
)
def test_cut_joins_back_to_the_sentence(jieba: pylumotext.Jieba, sentence: str) -> None:
    words = jieba.cut(sentence)
    assert "".join(words) == sentence
    assert all(isinstance(word, str) and word for word in words)


@pytest.mark.parametrize("method", ["cut", "cut_for_search"])
@pytest.mark.parametrize("repeats", [3, 200])  # a short sentence, and one long enough to share its words
@pytest.mark.parametrize("music", ["𝄞", ""])  # 4-byte storage, and 2-byte storage whose short words are cached
def test_each_use_of_a_word_holds_one_reference(jieba: pylumotext.Jieba, method: str, repeats: int,
                                                music: str) -> None:
    sentence = f"北京大学，{music}中国" * repeats
    words = getattr(jieba, method)(sentence)
    assert "".join(words) == sentence or method == "cut_for_search"
    uses = collections.Counter(id(word) for word in words)
    objects = {id(word): word for word in words}
    for key in list(objects):
        word = objects[key]
        cached = not music and len(word) <= 4
        # The dict, the name and the argument, and the cache's own.
        assert sys.getrefcount(word) == uses[key] + 3 + cached


def test_latin_words_of_two_byte_text_share_the_one_byte_words(jieba: pylumotext.Jieba) -> None:
    english = jieba.cut("systemd units")[0]
    words = jieba.cut("中文systemd的units")
    assert words[2:3] == ["systemd"] and words[2] is english


# Two-byte text, one-byte text (its words run to eight letters), and two-byte
# text with runs of Latin letters, all with NUL; a word that is all of its
# text is the text itself.
@pytest.mark.parametrize(("letters", "shared"), [
    ([chr(code) for code in range(0x4E00, 0x4E00 + 4000)] + ["é", "\x00", "a"], "中国人民，"),
    (list("abcdefghijklmnopqrstuvwxyz") + ["é", "\x00", " ", " ", " "], "the end"),
    ([chr(code) for code in range(0x4E00, 0x4E00 + 50)] + list("abcdefgh") * 6 + ["é", "\x00"], "中国人民，"),
])
def test_short_words_are_shared_and_stay_right_as_the_cache_turns_over(
        jieba: pylumotext.Jieba, letters: list[str], shared: str) -> None:
    rng = random.Random(5)
    texts = ["".join(rng.choice(letters) for _ in range(40)) for _ in range(400)]
    first = [jieba.cut(text) for text in texts]
    assert [jieba.cut(text) for text in texts] == first
    assert all("".join(words) == text for words, text in zip(first, texts))
    assert all(word == word.encode().decode() for words in first for word in words)
    assert jieba.cut(shared)[0] is jieba.cut(shared)[0]
    whole = "".join(texts)  # one long call: its distinct words are looked up together
    assert "".join(jieba.cut(whole)) == whole and jieba.cut(whole) == jieba.cut(whole)


@pytest.mark.parametrize("letters", ["ab", "中国", "😀𝄞"])  # each storage width
def test_shared_words_that_differ_in_one_place_stay_apart(jieba: pylumotext.Jieba, letters: str) -> None:
    # Words of every length up to 40 that differ from each other in a single
    # position: a long text shares its words, each piece alone does not.
    first, second = letters
    pieces = [first * length for length in range(1, 41)]
    pieces += [first * at + second + first * (length - at - 1) for length in range(1, 41) for at in range(length)]
    expected = [word for index, piece in enumerate(pieces) for word in ([" "] if index else []) + jieba.cut(piece)]
    assert jieba.cut(" ".join(pieces)) == expected


class _Text(str):
    pass


class _Engine(pylumotext.Jieba):
    pass


# A str subclass and an engine subclass take the general dispatch, an exact
# str on an exact engine the direct one: the words are the same.
@pytest.mark.parametrize("sentence", ["中国", "é", "中国人民 abc 😀", "中国人民站起来了。" * 100,
                                      "é中国 ab ÿĀ 中华人民共和国 x"])  # words of every width from 2-byte storage
def test_results_are_new_lists_of_plain_str(jieba: pylumotext.Jieba, paths: dict[str, str], sentence: str) -> None:
    first = jieba.cut(sentence)
    first.append("x")
    assert jieba.cut(sentence) == first[:-1]
    derived = _Engine(**paths)
    for method in ("cut", "cut_for_search"):
        words = getattr(jieba, method)(_Text(sentence))
        assert type(words) is list and words == getattr(jieba, method)(sentence) == getattr(derived, method)(sentence)
        assert {type(word) for word in words} == {str}
        assert words == [word.encode().decode() for word in words]  # canonical storage: str equality compares it


def test_arguments_by_keyword_and_position(paths: dict[str, str]) -> None:
    by_position = pylumotext.Jieba(*[paths[name] for name in ARGUMENT_NAMES])
    assert by_position.cut(sentence="中国人民") == ["中国人民"]
    assert by_position.cut_for_search(sentence="中国人民") == ["中国", "人民", "中国人", "中国人民"]
    cut = by_position.cut
    assert pylumotext.Jieba.cut(by_position, "中国人民") == cut("中国人民") == cut(_Text("中国人民")) == ["中国人民"]
    with pytest.raises(TypeError, match=r"^cut\(\): incompatible function arguments"):
        by_position.cut(*["中国"] * 9)


def test_empty_user_dict_path_means_no_user_dictionary(paths: dict[str, str]) -> None:
    jieba = pylumotext.Jieba(**{**paths, "user_dict_path": ""})
    assert jieba.cut("甲乙") == ["甲", "乙"]


def test_several_user_dictionaries(paths: dict[str, str], tmp_path: pathlib.Path) -> None:
    second = tmp_path / "second.txt"
    second.write_text("丙丁 n\n", encoding="utf-8")
    for separator in ";|":
        jieba = pylumotext.Jieba(**{**paths, "user_dict_path": paths["user_dict_path"] + separator + str(second)})
        assert jieba.cut("甲乙丙丁") == ["甲乙", "丙丁"]


@pytest.mark.parametrize(
    "call",
    [
        lambda j: j.cut(memoryview(b"abc")),
        lambda j: j.cut(None),
        lambda j: j.cut(),
        lambda j: j.cut("a", "b"),
        lambda j: j.cut(text="a"),
        lambda j: j.cut_for_search(["a"]),
    ],
)
def test_wrong_arguments_raise_type_error(jieba: pylumotext.Jieba, call) -> None:
    with pytest.raises(TypeError):
        call(jieba)


def test_constructor_requires_all_five_string_arguments(paths: dict[str, str]) -> None:
    with pytest.raises(TypeError):
        pylumotext.Jieba()
    with pytest.raises(TypeError):
        pylumotext.Jieba(**{k: v for k, v in paths.items() if k != "stop_word_path"})
    with pytest.raises(TypeError):
        pylumotext.Jieba(**{**paths, "idf_path": 3})


@pytest.mark.parametrize("method", ["cut", "cut_for_search"])
def test_bytes_are_segmented_as_they_are(jieba: pylumotext.Jieba, method: str,
                                         capfd: pytest.CaptureFixture[str]) -> None:
    segment = getattr(jieba, method)
    assert segment("中国 abc".encode()) == segment("中国 abc")
    assert segment(bytearray("中国 abc".encode())) == segment("中国 abc")
    # A lead byte 0xFF does not decode: one log line, no words.
    assert segment(b"ab\xff") == []
    assert re.fullmatch(r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \S+:\d+ ERROR decode failed. \n", capfd.readouterr().err)
    # The lenient decoder reads E4 41 41 as one rune, whose bytes are no UTF-8.
    with pytest.raises(UnicodeDecodeError):
        segment(b"\xe4\x41\x41")


def fatal_cases(paths: dict[str, str], missing: str) -> list[tuple[str, dict[str, str], str]]:
    return [
        ("dict", {**paths, "dict_path": missing}, f"exp: [ifs.is_open()] false. open {missing} failed."),
        ("user", {**paths, "user_dict_path": paths["user_dict_path"] + ";" + missing},
         f"exp: [ifs.is_open()] false. open {missing} failed"),
        ("hmm", {**paths, "hmm_path": missing}, f"exp: [ifile.is_open()] false. open {missing} failed"),
        ("idf", {**paths, "idf_path": missing}, f"exp: [ifs.is_open()] false. open {missing} failed"),
        ("stop", {**paths, "stop_word_path": missing}, f"exp: [ifs.is_open()] false. open {missing} failed"),
    ]


LOG_HEADER = r"\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} \S+:\d+ "


@pytest.mark.parametrize("which", ["dict", "user", "hmm", "idf", "stop"])
def test_fatal_check_raises_runtime_error_after_its_log_line(paths: dict[str, str], tmp_path: pathlib.Path,
                                                            capfd: pytest.CaptureFixture[str], which: str) -> None:
    missing = str(tmp_path / "missing.txt")
    _, arguments, message = next(case for case in fatal_cases(paths, missing) if case[0] == which)
    capfd.readouterr()
    with pytest.raises(RuntimeError) as raised:
        pylumotext.Jieba(**arguments)
    assert str(raised.value) == message
    lines = capfd.readouterr().err.splitlines()
    assert len(lines) == 1
    assert re.fullmatch(LOG_HEADER + "FATAL " + re.escape(message), lines[0])
    # The interpreter goes on, and a good engine still builds.
    assert pylumotext.Jieba(**paths).cut("中国") == ["中国"]


def test_malformed_dictionary_line_is_fatal(paths: dict[str, str], tmp_path: pathlib.Path) -> None:
    bad = tmp_path / "bad.txt"
    bad.write_text("中国 1 ns\n人民  2 n\n", encoding="utf-8")
    with pytest.raises(RuntimeError, match=re.escape(
            "exp: [buf.size() == DICT_COLUMN_NUM] false. split result illegal, line:人民  2 n")):
        pylumotext.Jieba(**{**paths, "dict_path": str(bad)})


def test_error_lines_do_not_stop_construction(paths: dict[str, str], tmp_path: pathlib.Path,
                                              capfd: pytest.CaptureFixture[str]) -> None:
    idf = tmp_path / "idf_bad.txt"
    idf.write_text("中国 2\n\nbad line here\n", encoding="utf-8")
    capfd.readouterr()
    jieba = pylumotext.Jieba(**{**paths, "idf_path": str(idf)})
    messages = [re.sub("^" + LOG_HEADER, "", line) for line in capfd.readouterr().err.splitlines()]
    assert messages == ["ERROR lineno: 1 empty. skipped.", "ERROR line: bad line here, lineno: 2 empty. skipped."]
    assert jieba.cut("中国") == ["中国"]


def test_engine_is_released_with_its_object(paths: dict[str, str]) -> None:
    # A subclass instance takes finalizers; the engine goes with the object
    # as soon as the last reference does, without a garbage collection.
    class Tracked(pylumotext.Jieba):
        pass

    released: list[int] = []
    for round_number in range(20):
        jieba = Tracked(**paths)
        assert jieba.cut("我爱北京大学") == ["我", "爱", "北京大学"]
        weakref.finalize(jieba, released.append, round_number)
        del jieba
        assert released == list(range(round_number + 1))


def test_no_attributes_besides_the_methods(jieba: pylumotext.Jieba) -> None:
    with pytest.raises(AttributeError):
        jieba.anything = 1  # type: ignore[attr-defined]
    assert [name for name in vars(pylumotext.Jieba) if not name.startswith("_")] == ["cut", "cut_for_search"]
