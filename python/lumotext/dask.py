"""Corpus-scale BM25 training on Dask.

Each partition of texts is segmented and trained where it lives, into one
encoder per partition; the encoders travel pickled and are merged in a tree,
so no worker ever holds more than a few of them. Needs the ``dask`` extra
(``pip install "pylumotext[dask]"``); a ``distributed`` cluster is optional.

    import dask.bag as db
    from lumotext.dask import fit_bm25

    encoder = fit_bm25(db.read_text("corpus/*.txt"), idf="document")

The same pattern runs on any engine that ships pickled objects: map
partitions to ``BM25Encoder().fit(...)`` and reduce with ``merge``.
"""

from __future__ import annotations

import pickle
from collections.abc import Iterable
from typing import Any

from lumotext.bm25 import BM25Encoder
from lumotext.segmenter import _default_segmenter

__all__ = ["fit_bm25"]

# Segmenters of this process, keyed by their pickled form: each worker builds
# a segmenter once, however many partitions it trains.
_SEGMENTERS: dict[bytes, Any] = {}


def _segmenter(payload: bytes) -> Any:
    segmenter = _SEGMENTERS.get(payload)
    if segmenter is None:
        segmenter = _SEGMENTERS[payload] = pickle.loads(payload)
    return segmenter


def _checked(texts: Iterable[Any]) -> Iterable[str]:
    for text in texts:
        if not isinstance(text, str):
            raise TypeError(f"texts must be str, got {type(text).__name__}: {text!r}")
        yield text


def _train_partition(texts: Iterable[Any], payload: bytes, b: float, k1: float, idf: str) -> BM25Encoder:
    # The whole partition in one call on one thread (the cluster already runs
    # a task per core): a Segmenter cuts and trains natively, any other
    # segmenter cuts text by text. The call checks every text itself; only
    # when one is not a str are they checked here, for the message.
    batch = list(texts)
    try:
        return BM25Encoder(b, k1, idf).fit_texts(batch, _segmenter(payload), threads=1)
    except TypeError:
        for _ in _checked(batch):
            pass
        raise


def _merge(encoders: Iterable[BM25Encoder]) -> BM25Encoder:
    # Each encoder here is the output of one task with this task as its only
    # reader, so the first one can take the others in.
    iterator = iter(encoders)
    merged = next(iterator)
    for encoder in iterator:
        merged.merge(encoder)
    return merged


def _as_bag(texts: Any) -> Any:
    import dask.bag

    if isinstance(texts, dask.bag.Bag):
        return texts
    try:
        import dask.dataframe
    except ImportError:  # dask without its dataframe part: only bags then
        pass
    else:
        if isinstance(texts, dask.dataframe.Series):
            return texts.to_bag()
    raise TypeError(f"texts must be a dask Bag or a dask DataFrame column of str, not {type(texts).__name__}")


def fit_bm25(texts: Any, segmenter: Any = None, *, b: float = 0.75, k1: float = 1.2, idf: str = "corpus",
             split_every: int | None = None) -> BM25Encoder:
    """Segments and trains every text of a dask Bag or DataFrame column (one
    document per text) and returns the encoder of the whole corpus, equal to
    ``BM25Encoder(b, k1, idf).fit(segmenter.cut(t) for t in texts)``.

    segmenter is any picklable object with ``cut(text) -> list[str]``
    (default: a ``lumotext.Segmenter()``, built once per process); it is
    pickled once (with cloudpickle) and unpickled once per worker process. A
    `Segmenter` trains each partition with `BM25Encoder.fit_texts`.
    split_every is the fan-in of the merge tree (dask's default when None). Runs on the current dask scheduler (a
    ``distributed.Client`` if one is active). A text that is not a str (a
    missing value, say) raises TypeError: drop those first.
    """
    BM25Encoder(b, k1, idf)  # checks the parameters before any task runs
    if segmenter is None:
        segmenter = _default_segmenter()  # built once per process
    if not callable(getattr(segmenter, "cut", None)):
        raise TypeError(f"segmenter must have a cut(text) method, got {type(segmenter).__name__}")
    # cloudpickle (a dependency of dask) also ships classes defined in a
    # script or notebook, which plain pickle would send by a name the
    # workers cannot import.
    import cloudpickle

    payload = cloudpickle.dumps(segmenter)
    bag = _as_bag(texts)
    reduction = bag.reduction(lambda part: _train_partition(part, payload, b, k1, idf), _merge,
                              split_every=split_every)
    return reduction.compute()
