"""The pieces of scripts/build_data.py on tiny hand-made corpora."""

from __future__ import annotations

import collections
import hashlib
import math
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts"))

import build_data  # noqa: E402
import traditional  # noqa: E402
import word_frequencies  # noqa: E402
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


def test_read_segmented_reads_conllu_and_skips_ranges_and_empty_nodes(tmp_path):
    path = tmp_path / "split.conllu"
    rest = "\t_" * 8
    path.write_text(f"# sent_id = 1\n# text = 我們走吧\n1\t我們{rest}\n1-2\t走吧{rest}\n"
                    f"2\t走{rest}\n2.1\t空{rest}\n3\t吧{rest}\n\n", encoding="utf-8")
    assert build_data.read_segmented(str(path)) == [
        Sentence("我們走吧", ["我們", "走", "吧"], ["O", "O", "O"])]


def test_occurrences_in_text_count_strings_across_word_boundaries_only():
    sentences = corpus(["北", "京", "大学"], ["北京", "京"])
    found = build_data.occurrences_in_text(sentences, {"北京", "京大", "京京", "北京大学"}, 4)
    assert found == {"北京": 1, "京大": 1, "京京": 1, "北京大学": 1}  # not inside 北京


def word_lists(**fields) -> build_data.WordLists:
    defaults = dict(glosses={}, idioms=set(), traditional={}, ranks={}, ocr_words=set())
    return build_data.WordLists(**{**defaults, **fields})


def test_rank_scale_fits_count_times_rank_over_every_ranked_word():
    counts = collections.Counter({"的": 100, "是": 20})
    ranks = {"的": 1, "是": 2, "无": 4, "外": build_data.UNRANKED}
    assert build_data.rank_scale(counts, ranks) == pytest.approx(120 / (1 + 1 / 2 + 1 / 4))


@pytest.mark.parametrize("line, proper", [
    ("伊拉克 伊拉克 [Yi1 la1 ke4] /Iraq/", True),
    ("紐倫堡 纽伦堡 [Niu3 lun2 bao3] /Nuremberg, city in Germany/", True),
    ("北京市 北京市 [Bei3 jing1 Shi4] /Beijing municipality/", False),
    ("吳三桂 吴三桂 [Wu2 San1 gui4] /Wu Sangui (1612-1678)/", False),
    ("計算機 计算机 [ji4 suan4 ji1] /Computer/", False),
])
def test_cedict_one_name_proper_nouns(tmp_path, line, proper):
    path = tmp_path / "cedict.u8"
    path.write_text(f"# comment\n{line}\n", encoding="utf-8")
    simplified = line.split(" ")[1]
    assert (simplified in build_data.read_cedict(str(path))[3]) is proper


def test_priors_by_list_agreement_length_and_proper_nouns():
    lists = word_lists(glosses={"伊拉克": "Iraq", "北京市": "Beijing", "北京": "Beijing",
                                "我去": "what", "计算机": "computer"},
                       proper_nouns={"伊拉克", "北京市"}, ocr_words={"北京", "快走", "计算机"})
    settings = Settings(extra_prior=0.2, single_source_prior=0.05, long_prior=0.002,
                        proper_prior=0.02)
    priors = build_data.extra_priors(collections.Counter(), lists, settings)
    # A proper noun that is a listed word plus a character keeps the plain prior.
    assert priors["伊拉克"] == 0.02 and priors["北京市"] == 0.002
    # Two lists make a word of any length sure; one list alone, less so.
    assert priors["北京"] == priors["计算机"] == 0.2
    assert priors["我去"] == priors["快走"] == 0.05


def test_main_dictionary_priors_split_evidence_and_rounding():
    sentences = corpus(["北京", "大", "学", "IBM"], ["北京"], ["因", "此"])
    lists = word_lists(glosses={"北京": "Beijing", "上海": "Shanghai", "上海市": "city",
                                "大学": "university", "因此": "therefore"},
                       idioms={"一丘之貉"}, ranks={"因此": 1, "跑步": 2}, ocr_words={"一丘之貉"})
    settings = Settings(train_scale=100, extra_prior=0.2, long_prior=0.002, idiom_prior=1.0,
                        single_source_prior=0.2, ranked_prior_weight=1.0, split_evidence=1.0,
                        em_iterations=0)
    main = build_data.build_main_dictionary(sentences, lists, [], settings)
    assert main["北京"] == (200, "n") and main["大"] == (100, "n")
    assert main["上海"] == (20, "n") and main["一丘之貉"] == (100, "i")
    assert "上海市" not in main and "IBM" not in main  # 0.002 * 100 rounds to nothing
    assert main["大学"] == (10, "n")  # written once as two words: keeps 1 / (1 + 1)
    # No ranked word occurs, so the rank law has K = 0 and the plain prior applies.
    assert main["因此"] == (10, "n") and main["跑步"] == (20, "n")
    assert main["【"] == (20, "x") and main["……"] == (20, "x")


def test_train_words_mostly_written_split_are_left_out():
    sentences = corpus(["还有"], ["还", "有"], ["还", "有"], ["还有"], ["作为"], *[["作", "为"]] * 4)
    main = build_data.build_main_dictionary(sentences, word_lists(), [],
                                            Settings(split_majority=1.0, em_iterations=0))
    assert "还有" in main and "作为" not in main


def test_everyday_words_and_numerals_keep_their_prior_despite_split_writing():
    sentences = corpus(["为", "什么"], ["为", "什么"], ["什么"], ["六", "十"], ["什么", "人"])
    lists = word_lists(glosses={"为什么": "why", "什么人": "who"},
                       ranks={"为什么": 2, "什么人": 3, "什么": 1},
                       levels={"为什么": 2, "什么人": 3})
    settings = Settings(extra_prior=0.2, long_prior=0.2, split_evidence=1.0,
                        rank_floor_weight=0.0, em_iterations=0)
    main = build_data.build_main_dictionary(sentences, lists, [], settings)
    # K = 4 / (1 + 1/2 + 1/3) (four 什么 at rank 1): 为什么 keeps K / 2 though written split.
    assert main["为什么"] == (109, "n")
    assert main["什么人"] == (36, "n")  # level 3 is no everyday word: split once, keeps half
    assert main["六十"] == (10, "m") and main["第十二"] == (20, "n")  # split once: 1 / (1 + 1)
    numerals = build_data.chinese_numerals()
    assert len(numerals) == 2 * 99 + 2 * 10 - 9 and {"十", "九十九", "两百", "第一"} <= set(numerals)


def test_rank_floors_raise_ranked_words_to_their_weighted_rank_count():
    counts = collections.Counter({"的": 200, "你": 1, "还是": 2, "北京": 7})
    k = 203 / (1 + 1 / 4 + 1 / 8 + 1 / 2)  # fitted over every ranked word, 外 too
    floored = build_data.rank_floors(counts, {"的": 1, "你": 4, "还是": 8, "外": 2}, 1.0)
    assert floored == {"的": 200, "你": pytest.approx(k / 4), "还是": pytest.approx(k / 8),
                       "北京": 7}


def test_rebalance_keeps_choices_against_characters_that_were_not_raised():
    before = {"你": (100, "r"), "好": (100, "a"), "的": (600, "u"), "你好": (50, "l"),
              "好的": (1000, "l")}
    entries = {**before, "你": (300, "r")}
    build_data.rebalance_words(entries, 200)

    def odds(main, word):  # of a two-character word against its two characters
        total = sum(f for f, _ in main.values())
        return main[word][0] * total / (main[word[0]][0] * main[word[1]][0])

    assert entries["你"] == (300, "r") and entries["好的"][1] == "l"
    assert odds(entries, "好的") == pytest.approx(odds(before, "好的"), rel=2e-3)
    assert odds(entries, "你好") < odds(before, "你好") / 2  # the raised 你 gains
    unchanged = dict(before)
    build_data.rebalance_words(unchanged, 0)
    assert unchanged == before


def test_em_gives_listed_words_their_share_of_the_raw_text():
    fixed = {"中": 1.0, "国": 1.0, "人": 1.0, "中国": 1.0, "国人": 1.0}
    runs = word_frequencies.han_runs(["中国 中国，中国人。人"])
    assert runs == {"中国": 2, "中国人": 1, "人": 1}
    counts = word_frequencies.RawTextModel(runs, fixed, 4).estimate(iterations=3, raw_weight=0.5)
    assert set(counts) == set(fixed)
    assert counts["中国"] > 5 * counts["国人"]  # 国人 only ever competes with 中国
    assert math.fsum(counts.values()) == pytest.approx(0.5 * 5)
    assert word_frequencies.han_runs(["a" + "中" * 40]) == {"中" * 32: 1, "中" * 8: 1}


def test_traditional_spellings_come_from_tables_and_lists():
    converter = traditional.Converter({"发": ["發", "髮"], "头": ["頭"], "里": ["裏", "里"], "这": ["這"]},
                                      {"头发": ["頭髮"]}, {"裡": ["里"], "裏": ["里"]},
                                      {"头": {"頭"}, "这里": {"這裡"}})
    assert converter.spellings("头发") == {"頭髮"}
    assert converter.spellings("发") == {"發"}
    assert converter.spellings("里") == {"裏", "裡"}
    assert converter.spellings("这里") == {"這裏", "這裡"}
    assert converter.spellings("好") == set()
    main = {"头发": (50, "n"), "发": (30, "v"), "髮": (1, "n"), "里": (10, "f"), "里头": (7, "f")}
    assert build_data.add_traditional(main, converter) == {
        "頭髮": (50, "n"), "發": (30, "v"), "裏": (10, "f"), "裡": (10, "f"), "裏頭": (7, "f")}


def test_user_dictionary_keeps_frequent_standalone_characters_and_punctuation():
    sentences = corpus(*([["的", "人"]] * 5 + [["人民"]] * 30 + [["中", "国"]] * 4))
    main = build_data.build_main_dictionary(sentences, word_lists(), [],
                                            Settings(train_scale=10, em_iterations=0))
    main["們"] = (7, "n")
    settings = Settings(user_single_min_count=5, user_single_min_ratio=0.2, user_single_max_rank=9)
    lines = build_data.build_user_dictionary(sentences, main, settings, {"的": {"們"}},
                                             {"国": 9, "中": 10, "民": 1})
    words = [line.split(" ")[0] for line in lines]
    assert "的" in words and "中" not in words  # 中 is standalone 4 times and ranked too low
    assert "人" not in words  # 5 standalone of 35 occurrences is below 0.2
    assert "国" in words and "民" not in words  # ranked high enough; never a word of its own
    assert "們" in words  # the spelling of a kept character
    assert f"的 {main['的'][0]} n" in lines and "， 2 x" in lines


@pytest.mark.parametrize("scale", [1.0, 0.25])
def test_hmm_model_counts_states_with_smoothing_and_scaled_word_starts(scale):
    lines = build_data.build_hmm_model(corpus(["ab", "c"], ["c", "abd"]),
                                       Settings(emission_smoothing=0.5, word_start_scale=scale))
    rows = [line for line in lines if not line.startswith("#")]
    log = lambda p: f"{math.log(p):.6f}"  # noqa: E731
    b = scale  # the add-one count of a word start, scaled
    assert rows[0] == f"{log(b / (b + 1))} -3.14e+100 -3.14e+100 {log(1 / (b + 1))}"
    # B is followed by E once and by M once; E by S once and by nothing else.
    assert rows[1] == f"-3.14e+100 {log(2 / 4)} {log(2 / 4)} -3.14e+100"
    assert rows[2] == f"{log(b / (b + 2))} -3.14e+100 -3.14e+100 {log(2 / (b + 2))}"
    assert rows[3] == f"-3.14e+100 {log(2 / 3)} {log(1 / 3)} -3.14e+100"
    assert rows[4] == f"{log(2 * b / (2 * b + 1))} -3.14e+100 -3.14e+100 {log(1 / (2 * b + 1))}"
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
