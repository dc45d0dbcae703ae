"""lumotext.dask on a real two-process cluster: segmenting and training a Dask
bag or DataFrame column gives the encoder of a single-process fit."""

import random

import pytest

dask = pytest.importorskip("dask")
distributed = pytest.importorskip("distributed")
dd = pytest.importorskip("dask.dataframe")
pd = pytest.importorskip("pandas")

import dask.bag as db  # noqa: E402

import pylumotext  # noqa: E402
import pylumotext_data  # noqa: E402
from lumotext import BM25Encoder  # noqa: E402
from lumotext.dask import fit_bm25  # noqa: E402
from picklable_segmenter import PicklableJieba  # noqa: E402


PHRASES = ["他喜欢贝多芬的音乐", "北京的天气很好", "我们在大学学习中文", "音乐会明天开始", "今天下雨了",
           "这本书的作者是谁", "计算机科学与技术", "我爱北京天安门"]


def texts(count=400, seed=5):
    rng = random.Random(seed)
    return ["，".join(rng.sample(PHRASES, rng.randint(1, 4))) for _ in range(count)]


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None,
                                  worker_dashboard_address=None) as cluster, distributed.Client(cluster) as client:
        yield client


@pytest.mark.parametrize("idf", ["corpus", "document"])
def test_cluster_fit_of_bag_and_column_equals_single_process_fit(client, idf):
    segmenter = PicklableJieba(pylumotext_data.paths())
    corpus = texts()
    expected = BM25Encoder(idf=idf).fit(segmenter.cut(text) for text in corpus)
    bag = db.from_sequence(corpus, npartitions=7)
    assert fit_bm25(bag, segmenter, idf=idf, split_every=2) == expected
    column = dd.from_pandas(pd.DataFrame({"text": corpus}), npartitions=3)["text"]
    merged = fit_bm25(column, idf=idf)  # the default segmenter cuts each partition in one batch
    assert merged == expected and merged.idf_kind == idf
    assert len(client.scheduler_info()["workers"]) == 2


def test_bad_texts_and_segmenters_raise(client):
    for segmenter in (PicklableJieba(pylumotext_data.paths()), None):  # text by text, and in one batch
        with pytest.raises(TypeError, match="texts must be str, got NoneType"):
            fit_bm25(db.from_sequence(["北京", None], npartitions=1), segmenter)
    with pytest.raises(TypeError, match="segmenter must have a cut"):
        fit_bm25(db.from_sequence(["北京"]), object())
    with pytest.raises(TypeError, match="must be a dask Bag or a dask DataFrame column"):
        fit_bm25(["北京"], PicklableJieba(pylumotext_data.paths()))
