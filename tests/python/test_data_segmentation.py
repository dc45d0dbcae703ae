"""Segmentation with the default data: golden sentences, the native segmenter
against the pure-Python reference (reference_segmenter.py beside this file), and the
accuracy on the dev splits of the pinned corpora."""

from __future__ import annotations

import json
import subprocess
import sys
from pathlib import Path

import pytest

import pylumotext
import pylumotext_data

REPO = Path(__file__).resolve().parents[2]
SEGMENTED = REPO.parent / "shared" / "data-sources" / "segmented"
DEV_SPLIT = SEGMENTED / "zh_gsdsimp-ud-dev.iob2"
sys.path.insert(0, str(REPO / "scripts"))

import evaluate  # noqa: E402
from build_data import read_segmented  # noqa: E402
from reference_segmenter import ReferenceSegmenter  # noqa: E402


# Expected words with the default data, in golden_default_data.json: when the
# data changes on purpose, regenerate it with regenerate_golden.py (never edit
# it by hand to make a test pass).
GOLDEN = json.loads((Path(__file__).with_name("golden_default_data.json")).read_text(encoding="utf-8"))
GOLDEN_CUT = [tuple(case) for case in GOLDEN["cut"]]
GOLDEN_SEARCH = [tuple(case) for case in GOLDEN["cut_for_search"]]


@pytest.fixture(scope="module")
def reference():
    return ReferenceSegmenter(**pylumotext_data.paths())


@pytest.fixture(scope="module")
def native():
    return pylumotext.Jieba(**pylumotext_data.paths())


@pytest.fixture(params=["reference", "native"])
def segmenter(request):
    return request.getfixturevalue(request.param)


def test_default_data_loads_without_any_log_line(capfd):
    segmenter = pylumotext.Jieba(**pylumotext_data.paths())
    assert segmenter.cut("我们") == ["我们"]
    out, err = capfd.readouterr()
    assert (out, err) == ("", "")


@pytest.mark.parametrize("sentence, words", GOLDEN_CUT)
def test_cut_gives_the_golden_words(segmenter, sentence, words):
    assert segmenter.cut(sentence) == words


@pytest.mark.parametrize("sentence, words", GOLDEN_SEARCH)
def test_cut_for_search_gives_the_golden_words(segmenter, sentence, words):
    assert segmenter.cut_for_search(sentence) == words


DIFFERENTIAL_EXTRA = [
    "截至2009年，千禧公园是全芝加哥人气第二高的旅游景点，仅次于海军码头（Navy's Pier）。",
    "abc123 123abc 3.14 a.b .5 1.2.3\t全角１２３ＡＢＣ\n换行",
    "〇𠀀𪚥㐀 emoji 😀 混在中文里",
    "   ，，。。  ",
]


def differential_sentences() -> list[str]:
    sentences = list(DIFFERENTIAL_EXTRA)
    for path in (DEV_SPLIT, SEGMENTED / "zh_hk-ud-dev.trad.conllu"):
        if path.is_file():
            sentences += [s.text for s in read_segmented(str(path))]
    return sentences


def test_native_and_reference_agree_on_every_sentence(native, reference):
    for sentence in differential_sentences():
        assert native.cut(sentence) == reference.cut(sentence), sentence
        assert native.cut_for_search(sentence) == reference.cut_for_search(sentence), sentence


@pytest.mark.parametrize("reference_words, predicted, counts", [
    (["ab", "c"], ["ab", "c"], (2, 2, 2)),
    (["ab", "c"], ["a", "bc"], (2, 2, 0)),
    (["ab", "c"], ["a", "b", "c"], (2, 3, 1)),
    (["A", "B"], ["A", " ", "B"], (2, 2, 2)),
    (["ab"], [], (1, 0, 0)),
])
def test_scores_count_words_whose_start_and_end_match(reference_words, predicted, counts):
    score = evaluate.Score()
    score.add(reference_words, predicted)
    assert (score.reference_words, score.predicted_words, score.correct_words) == counts


def test_scores_give_precision_recall_and_f1():
    score = evaluate.Score()
    score.add(["ab", "c", "d"], ["a", "b", "c", "d"])
    assert (score.precision, score.recall) == (0.5, 2 / 3)
    assert score.f1 == pytest.approx(2 * 0.5 * (2 / 3) / (0.5 + 2 / 3))
    assert evaluate.Score().f1 == 0.0


@pytest.mark.parametrize("name, words, target", [
    ("zh_gsdsimp-ud-dev.iob2", 12663, 0.92),
    ("zh_hk-ud-dev.simp.conllu", 4776, 0.87),
    ("zh_hk-ud-dev.trad.conllu", 4776, 0.87),
])
def test_default_data_reaches_its_f1_on_each_dev_split(native, name, words, target):
    if not (SEGMENTED / name).is_file():
        pytest.skip(f"dev split not found at {SEGMENTED / name}")
    score = evaluate.evaluate(native, read_segmented(str(SEGMENTED / name)))
    assert score.reference_words == words
    assert score.f1 >= target


def test_evaluate_prints_one_row_per_file(capsys, tmp_path):
    iob2, conllu = tmp_path / "a.iob2", tmp_path / "b.conllu"
    iob2.write_text("# text = 我们走\n1\t我们\tO\t-\t-\n2\t走\tO\t-\t-\n", encoding="utf-8")
    rest = "\t_" * 8
    conllu.write_text(f"# text = 我們走吧\n1\t我們{rest}\n2\t走吧{rest}\n", encoding="utf-8")
    data = Path(pylumotext_data.DATA_DIR)
    assert evaluate.main([str(iob2), str(conllu), "--data", str(data)]) == 0
    lines = capsys.readouterr().out.splitlines()
    assert lines[0] == f"data: {data}, dictionary words: {len(lines_of(data / 'main_dict.txt'))}"
    assert lines[1].split() == ["file", "sentences", "reference", "predicted", "correct",
                                "P", "R", "F1"]
    assert lines[2].split() == ["a.iob2", "1", "2", "2", "2", "1.0000", "1.0000", "1.0000"]
    assert lines[3].split() == ["b.conllu", "1", "2", "3", "1", "0.3333", "0.5000", "0.4000"]


def lines_of(path: Path) -> list[str]:
    return path.read_text(encoding="utf-8").splitlines()


def test_quickstart_segments_and_ranks_the_example_documents(tmp_path):
    result = subprocess.run([sys.executable, str(REPO / "examples" / "quickstart.py")],
                            cwd=tmp_path, capture_output=True, text=True, check=True)
    assert result.stderr == ""
    lines = result.stdout.splitlines()
    assert "cut:    今天 / 天气 / 很 / 好 / ， / 我们 / 去 / 公园 / 散步 / 。" in lines
    assert "search: 大利 / 澳大利亚 / 的 / 面积 / 约 / 为 / 七百 / 七 / 十万 / 平方 / 公里 / " \
        "平方公里 / 。" in lines
    assert "query: 贝多芬的音乐  ->  贝多芬 / 音乐" in lines
    ranked = lines[lines.index("query: 贝多芬的音乐  ->  贝多芬 / 音乐") + 1:]
    assert len(ranked) == 6
    assert all("贝多芬" in line for line in ranked[:2])
    assert all(line.split()[1] == "0.0000" for line in ranked[2:])
