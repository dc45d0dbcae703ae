"""The error categories of scripts/error_analysis.py on hand-made sentences."""

from __future__ import annotations

import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts"))

import error_analysis  # noqa: E402
from build_data import Sentence  # noqa: E402
from error_analysis import Conventions, Stretch  # noqa: E402


def test_stretches_are_the_disagreeing_spans_between_shared_boundaries():
    sentence = Sentence("我 不是 他们", ["我", " ", "不", "是", "他们"], ["O", "O", "B-PER", "O", "O"])
    found = error_analysis.stretches(sentence, ["我", " ", "不是", "他", "们"])
    assert found == [Stretch("不是", ["不", "是"], ["不是"], True, 1),
                     Stretch("他们", ["他们"], ["他", "们"], False, 3)]


OTHER = Conventions(whole={"不是", "立法"}, split={"立法会", "因此"})
HERE = Conventions(whole={"立法会"}, split={"不是"})
DICTIONARY = {"不", "是", "立法", "会", "因", "此", "我", "去", "我去", "华", "北"}


@pytest.mark.parametrize("reference, predicted, entity, category", [
    (["不", "是"], ["不是"], False, "convention"),  # one word in the other corpus
    (["立法会"], ["立法", "会"], False, "convention"),  # several words in the other corpus
    (["二十二日"], ["二十二", "日"], False, "oov-number"),
    (["16,250"], ["16", ",", "250"], False, "oov-number"),
    (["Yes!"], ["Yes", "!"], False, "oov-latin"),
    (["。。"], ["。", "。"], False, "oov-punctuation"),
    (["梁君彦"], ["梁", "君彦"], True, "oov-name"),
    (["梁君彦"], ["梁", "君彦"], False, "oov-han"),
    (["华", "北"], ["华北"], False, "hmm-glue"),
    (["我", "去"], ["我去"], False, "choice"),
])
def test_classify(reference, predicted, entity, category):
    stretch = Stretch("".join(reference), reference, predicted, entity)
    assert error_analysis.classify(stretch, HERE, OTHER, DICTIONARY) == category


def test_corrected_replaces_only_the_given_stretches():
    predicted = ["我", " ", "不是", "他", "们", "好"]
    right = [Stretch("他们", ["他们"], ["他", "们"], False, 3)]
    assert error_analysis._corrected(predicted, right) == ["我", "不是", "他们", "好"]
