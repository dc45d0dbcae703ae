"""The pieces of scripts/build_data.py on tiny hand-made corpora."""

from __future__ import annotations

import hashlib
import math
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts"))

import build_data  # noqa: E402
from build_data import Sentence, Settings  # noqa: E402


def corpus(*sentences: list[str]) -> list[Sentence]:
    return [Sentence("".join(words), list(words), ["O"] * len(words)) for words in sentences]


def test_read_segmented_takes_the_raw_text_and_the_words(tmp_path):
    path = tmp_path / "split.iob2"
    path.write_text("# newdoc id = d\n# sent_id = 1\n# text = 北京 ok\n"
                    "1\t北京\tB-LOC\t-\t-\n2\tok\tO\t-\t-\n\n"
                    "# text = 好\n1\t好\tO\t-\t-\n", encoding="utf-8")
    sentences = build_data.read_segmented(str(path))
    assert sentences == [Sentence("北京 ok", ["北京", "ok"], ["B-LOC", "O"]),
                         Sentence("好", ["好"], ["O"])]


def test_read_segmented_rejects_a_line_without_a_word(tmp_path):
    path = tmp_path / "bad.iob2"
    path.write_text("1\t\tO\t-\t-\n", encoding="utf-8")
    with pytest.raises(SystemExit, match="bad.iob2:1: malformed word line"):
        build_data.read_segmented(str(path))


def test_checksums_are_verified(tmp_path):
    (tmp_path / "a.txt").write_bytes(b"abc")
    digest = hashlib.sha256(b"abc").hexdigest()
    (tmp_path / "SHA256SUMS").write_text(f"{digest}  a.txt\n")
    build_data.verify_checksums(str(tmp_path))
    (tmp_path / "a.txt").write_bytes(b"abd")
    with pytest.raises(SystemExit, match="checksum mismatch for .*a.txt"):
        build_data.verify_checksums(str(tmp_path))


@pytest.mark.parametrize("text, expected", [
    ("北京", True), ("㐀𠀀", True), ("", False), ("北京2", False), ("北、京", False), ("ab", False),
])
def test_is_han(text, expected):
    assert build_data.is_han(text) is expected


def test_split_attested_finds_runs_of_two_or_more_train_words():
    sentences = corpus(["北", "京", "大学"])
    candidates = {"北京", "京大", "大学", "北京大学", "京大学"}
    assert build_data.split_attested(sentences, candidates, 8) == {"北京", "北京大学", "京大学"}
    assert build_data.split_attested(sentences, candidates, 3) == {"北京", "京大学"}


def test_main_dictionary_scales_counts_and_adds_unattested_short_headwords():
    sentences = corpus(["北京", "大", "学", "IBM"], ["北京"])
    glosses = {"北京": "Beijing", "大学": "university", "上海": "Shanghai", "上海市": "city"}
    main = build_data.build_main_dictionary(sentences, glosses, {"跑步"},
                                            Settings(train_scale=10, extra_frequency=2,
                                                     max_extra_length=2))
    assert main["北京"] == (20, "n") and main["大"] == (10, "n")
    assert main["上海"] == (2, "n") and main["跑步"] == (2, "n")
    assert "大学" not in main  # the train split writes it as two words
    assert "上海市" not in main and "IBM" not in main
    assert main["【"] == (2, "x")


def test_user_dictionary_keeps_frequent_standalone_characters_and_punctuation():
    sentences = corpus(*([["的", "人"]] * 5 + [["人民"]] * 30 + [["中", "国"]] * 4))
    main = build_data.build_main_dictionary(sentences, {}, set(), Settings())
    lines = build_data.build_user_dictionary(
        sentences, main, Settings(user_single_min_count=5, user_single_min_ratio=0.2))
    words = [line.split(" ")[0] for line in lines]
    assert "的" in words and "中" not in words  # 中 is standalone 4 times only
    assert "人" not in words  # 5 standalone of 35 occurrences is below 0.2
    assert f"的 {main['的'][0]} n" in lines and "， 2 x" in lines


def test_hmm_model_counts_states_with_smoothing():
    lines = build_data.build_hmm_model(corpus(["ab", "c"], ["c", "abd"]),
                                       Settings(emission_smoothing=0.5))
    rows = [line for line in lines if not line.startswith("#")]
    log = lambda p: f"{math.log(p):.6f}"  # noqa: E731
    assert rows[0] == f"{log(0.5)} -3.14e+100 -3.14e+100 {log(0.5)}"
    # B is followed by E once and by M once; E by S once and by nothing else.
    assert rows[1] == f"-3.14e+100 {log(2 / 4)} {log(2 / 4)} -3.14e+100"
    assert rows[2] == f"{log(1 / 3)} -3.14e+100 -3.14e+100 {log(2 / 3)}"
    assert rows[3] == f"-3.14e+100 {log(2 / 3)} {log(1 / 3)} -3.14e+100"
    assert rows[4] == f"{log(2 / 3)} -3.14e+100 -3.14e+100 {log(1 / 3)}"
    assert len(rows) == 9


def test_hmm_emissions_skip_ascii_and_cover_the_whole_vocabulary():
    lines = build_data.build_hmm_model(corpus(["北京"], ["x", "京"], ["a", ":", ","]),
                                       Settings(emission_smoothing=0.5))
    rows = [line for line in lines if not line.startswith("#")]
    log = lambda p: f"{math.log(p):.6f}"  # noqa: E731
    # Vocabulary 京 and 北; B emitted 北 once, E 京 once, S 京 once, M nothing.
    assert rows[5] == f"京:{log(0.5 / 2)},北:{log(1.5 / 2)}"
    assert rows[6] == f"京:{log(1.5 / 2)},北:{log(0.5 / 2)}"
    assert rows[7] == f"京:{log(0.5 / 1)},北:{log(0.5 / 1)}"
    assert rows[8] == f"京:{log(1.5 / 2)},北:{log(0.5 / 2)}"


def test_idf_is_the_log_of_sentences_over_document_frequency():
    lines = build_data.build_idf(corpus(["我", "我"], ["我", "你"], ["他"], ["他"]))
    assert lines == [f"他 {math.log(2):.6f}", f"你 {math.log(4):.6f}", f"我 {math.log(2):.6f}"]
