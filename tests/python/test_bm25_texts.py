"""BM25Encoder.fit_texts and encode_texts: the statistics and vectors of
fitting and encoding the segmenter's cuts, on every mode, storage width and
thread count, and all-or-nothing errors."""

import numpy as np
import pytest

import lumotext.bm25
import pylumotext
import pylumotext_data
from lumotext import BM25Encoder
from lumotext.segmenter import _default_segmenter

# Every storage width (1 byte, ASCII and not; 2; 4), an empty text, and a text
# longer than a short cut.
TEXTS = ["我来到北京清华大学", "他来到了网易杭研大厦", "小明硕士毕业于中国科学院计算所，后在日本京都大学深造",
         "café naïve", "ab", "\u6261", "😀 表情 emoji", "",
         "中华人民共和国成立了，" * 60] * 3

MODES = {"default": "cut", "search": "cut_for_search", "full": "cut_all"}


@pytest.fixture(scope="module")
def segmenter():
    return _default_segmenter()


@pytest.fixture(scope="module")
def jieba():
    return pylumotext.Jieba(**pylumotext_data.paths())


@pytest.mark.parametrize("mode", MODES)
@pytest.mark.parametrize("threads", [1, 2, 5])
@pytest.mark.parametrize("idf", ["corpus", "document"])
def test_fit_texts_equals_fitting_the_cuts(segmenter, jieba, mode, threads, idf):
    expected = BM25Encoder(idf=idf).fit([["先", "有"]]).fit(segmenter.cut_batch(TEXTS, mode=mode))
    encoder = BM25Encoder(idf=idf).fit([["先", "有"]])  # adds to what an encoder holds
    assert encoder.fit_texts(TEXTS, segmenter, mode=mode, threads=threads) is encoder
    assert encoder == expected
    assert encoder.encode_query(["北京", "😀", "的"]) == expected.encode_query(["北京", "😀", "的"])
    # Another segmenter goes through its cut methods; the default is lumotext's.
    if mode == "full":
        with pytest.raises(TypeError, match="^segmenter Jieba has no cut_all method for mode 'full'$"):
            BM25Encoder().fit_texts(TEXTS, jieba, mode=mode)
    else:
        assert BM25Encoder(idf=idf).fit([["先", "有"]]).fit_texts(TEXTS, jieba, mode=mode) == expected
    if mode == "default":
        assert BM25Encoder(idf=idf).fit([["先", "有"]]).fit_texts(iter(TEXTS), threads=threads) == expected


@pytest.mark.parametrize("output", ["dict", "sparse", "csr"])
@pytest.mark.parametrize("mode, threads", [("default", 1), ("search", 2), ("full", 5)])
def test_encode_texts_equals_encoding_the_cuts(segmenter, jieba, mode, threads, output):
    encoder = BM25Encoder().fit_texts(TEXTS[:5], segmenter)
    expected = encoder.encode_documents(segmenter.cut_batch(TEXTS, mode=mode), output=output)
    vectors = encoder.encode_texts(TEXTS, segmenter, mode=mode, output=output, threads=threads)
    if output == "csr":
        for part in ("indptr", "indices", "data"):
            assert np.array_equal(getattr(vectors, part), getattr(expected, part))
    else:
        assert vectors == expected
        assert [list(vector) for vector in vectors] == [list(vector) for vector in expected]  # same key order
        if mode == "default":  # an iterator, cut by the default segmenter
            assert encoder.encode_texts(iter(TEXTS[:3]), output=output) == expected[:3]
        if mode == "search":  # another segmenter, through its cut methods
            assert encoder.encode_texts(TEXTS, jieba, mode=mode, output=output) == expected
    with pytest.raises(RuntimeError, match="^BM25 has not been initialized$"):
        BM25Encoder().encode_texts(["北京"], segmenter, output=output, threads=threads)


@pytest.mark.parametrize("texts, error, message", [
    (["a", "b", 3], TypeError, r"^texts\[2\] must be str, not int$"),
    (["中", "b\ud800", "c", "\udfff"] * 50, ValueError, r"^texts\[1\]: 'utf-8' codec can't encode"),
])
@pytest.mark.parametrize("threads", [1, 2])
def test_bad_text_leaves_the_encoder_unchanged(segmenter, texts, error, message, threads):
    encoder = BM25Encoder().fit([["先"]])
    with pytest.raises(error, match=message):
        encoder.fit_texts(texts, segmenter, threads=threads)
    assert encoder == BM25Encoder().fit([["先"]])
    with pytest.raises(error, match=message):
        encoder.encode_texts(texts, segmenter, threads=threads)


def test_iterators_train_in_chunks_and_name_texts_by_position(segmenter, jieba, monkeypatch):
    monkeypatch.setattr(lumotext.bm25, "_TEXT_CHUNK", 4)
    encoder = BM25Encoder()
    with pytest.raises(TypeError, match=r"^texts\[9\] must be str, not NoneType$"):
        encoder.fit_texts(iter(TEXTS[:9] + [None]), segmenter, progress=True)
    # The two chunks before the failing one stay trained.
    assert encoder == BM25Encoder().fit(segmenter.cut_batch(TEXTS[:8]))
    with pytest.raises(TypeError, match=r"^texts\[1\] must be str, not bytes$"):
        BM25Encoder().fit_texts(["a", b"b"], jieba)
    with pytest.raises(ValueError, match="mode must be one of 'default', 'search', 'full', got 'fast'"):
        encoder.fit_texts(["a"], segmenter, mode="fast")
