"""BM25 sparse vectors for retrieval: whole corpora in one call, vectors keyed
by 32-bit indices for vector databases, a non-negative IDF, and models that
are trained apart and merged.

Hybrid search in a few lines (the dot product of a query vector and a document
vector is the document's BM25 score for the query, up to the query's scale):

    >>> from lumotext import BM25Encoder
    >>> docs = [["贝多芬", "的", "音乐"], ["北京", "的", "天气"], ["音乐", "会"]]
    >>> encoder = BM25Encoder(idf="document").fit(docs)
    >>> doc_vectors = encoder.encode_documents(docs, output="sparse")
    >>> query = encoder.encode_query(["音乐"], output="sparse")
    >>> def dot(q, d):
    ...     weights = dict(zip(d["indices"], d["values"]))
    ...     return sum(v * weights.get(i, 0.0) for i, v in zip(q["indices"], q["values"]))
    >>> sorted(range(len(docs)), key=lambda i: -dot(query, doc_vectors[i]))
    [2, 0, 1]
"""

from __future__ import annotations

import gc
import itertools
import math
import os
from collections.abc import Iterable, Iterator, Sequence
from typing import Any, Union

from lumotext import _native
from lumotext._threads import thread_count

__all__ = ["BM25Encoder", "INDEX_SPACE"]

#: Number of columns of the CSR matrices: indices are unsigned 32-bit.
INDEX_SPACE = 2**32

Token = Union[str, bytes, int]

_OUTPUTS = {"dict": 0, "sparse": 1, "csr": 2}
_IDFS = ("corpus", "document")
# Documents handed to the native trainer per call when fit reads an iterator.
_FIT_CHUNK = 2048
# Texts cut and trained per native call when fit_texts reads an iterator.
_TEXT_CHUNK = 8192
# The method of a segmenter other than lumotext's that gives each mode's words.
_CUT_METHODS = {"default": "cut", "search": "cut_for_search", "full": "cut_all"}


def _check_choice(name: str, value: object, choices: Iterable[str]) -> None:
    choices = tuple(choices)
    if value not in choices:
        raise ValueError(f"{name} must be one of {', '.join(map(repr, choices))}, got {value!r}")


def _as_sequence(items: Iterable[Any]) -> Sequence[Any]:
    return items if isinstance(items, (list, tuple)) else list(items)


def _with_progress(items: Iterable[Any], unit: str, desc: str) -> Iterable[Any]:
    """items behind a tqdm progress bar when tqdm is installed."""
    try:
        from tqdm.auto import tqdm
    except ImportError:
        return items
    return tqdm(items, unit=unit, desc=desc)


def _chunks(items: Iterable[Any], size: int) -> Iterator[tuple[int, list[Any]]]:
    """(position of the first item, list of up to size items) of items, in order."""
    iterator = iter(items)
    first = 0
    while chunk := list(itertools.islice(iterator, size)):
        yield first, chunk
        first += len(chunk)


def _checked_texts(texts: Iterable[Any]) -> Iterable[str]:
    for index, text in enumerate(texts):
        if not isinstance(text, str):
            raise TypeError(f"texts[{index}] must be str, not {type(text).__name__}")
        yield text


def _text_cutter(segmenter: Any, mode: str) -> tuple[Any, int, Any]:
    """What the *_texts methods cut with: (native engine, mode number, None)
    for a lumotext Segmenter (the shared default one for None), else (None,
    mode number, the segmenter's cut method for mode)."""
    from lumotext.segmenter import _MODES, Segmenter, _default_segmenter

    _check_choice("mode", mode, _MODES)
    if segmenter is None:
        segmenter = _default_segmenter()
    if isinstance(segmenter, Segmenter):
        return segmenter._engine, _MODES[mode], None
    cut = getattr(segmenter, _CUT_METHODS[mode], None)
    if not callable(cut):
        raise TypeError(f"segmenter {type(segmenter).__name__} has no {_CUT_METHODS[mode]} method for mode {mode!r}")
    return None, _MODES[mode], cut


def _without_gc(call: Any, *args: Any) -> Any:
    # A "sparse" batch creates three containers per vector, and every few
    # hundred of them would start a collection that walks the caller's live
    # objects; they hold no cycles, so the collector waits for the end of the
    # call. The native call holds the interpreter lock throughout, so no other
    # thread runs while collection is off.
    if not gc.isenabled():
        return call(*args)
    gc.disable()
    try:
        return call(*args)
    finally:
        gc.enable()


def _csr(parts: tuple[bytearray, bytearray, bytearray], rows: int) -> Any:
    import numpy as np
    from scipy.sparse import csr_array

    indptr, indices, data = (np.frombuffer(part, dtype=dtype)
                             for part, dtype in zip(parts, (np.int64, np.int64, np.float64)))
    return csr_array((data, indices, indptr), shape=(rows, INDEX_SPACE))


class BM25Encoder:
    """BM25 vectors for documents and queries, trained on tokenised corpora.

    A token list holds str (or bytes) tokens or int token ids, not both; a
    one-dimensional NumPy array of integer ids (or another buffer of integers,
    such as an ``array.array``) is read as the list it holds, straight from
    its memory. With
    N the number of trained documents, avgdl their average length, f a
    token's number of occurrences in the corpus and df the number of
    documents that hold it:

    - document vector: each distinct token gets tf / (tf + k1 * (1 - b + b * dl
      / avgdl)), tf its count in the document and dl the document's length;
    - query vector: each distinct token gets its IDF divided by the sum of the
      query's IDFs, so the weights sum to 1. ``idf="corpus"`` uses
      ln((N + 1) / (f + 0.5)) (ln((N + 1) / 1.5) for an unseen token), exactly
      as ``pylumotext.BM25`` does: every vector equals that class's bit for bit
      after the same training, and a token that occurs more often than there
      are documents gets a negative weight. ``idf="document"`` uses
      ln(1 + (N - df + 0.5) / (df + 0.5)), which is positive for every token
      (df = 0 for an unseen one), so no query weight is ever negative.

    Vectors come as ``dict`` keyed by token (``output="dict"``; query keys in
    ascending order, document keys in order of first occurrence), as
    ``{"indices": [...], "values": [...]}`` sorted by index (``"sparse"``), or
    as one ``scipy.sparse.csr_array`` with 2**32 columns for a batch
    (``"csr"``; needs SciPy). Indices: an int token is its
    own index (it must lie in [0, 2**32), else ``ValueError``); a str token's
    index is the unsigned MurmurHash3 x86 32-bit hash (seed 0) of its UTF-8
    bytes. Tokens that share an index in one vector have their weights added.

    Training is incremental: ``fit`` and ``train`` add to the statistics, an
    empty document counts as a document of length 0, and ``merge`` adds the
    statistics of an encoder trained elsewhere (a partition of the corpus).
    Pickling keeps the exact state; ``save`` writes the JSON model document
    that ``pylumotext.BM25.load`` reads (plus the document frequencies).
    """

    __slots__ = ("_model", "_idf")

    def __init__(self, b: float = 0.75, k1: float = 1.2, idf: str = "corpus") -> None:
        b, k1 = float(b), float(k1)
        if not 0.0 <= b <= 1.0:
            raise ValueError(f"b must lie between 0 and 1, got {b!r}")
        if not (math.isfinite(k1) and k1 >= 0.0):
            raise ValueError(f"k1 must be a finite number >= 0, got {k1!r}")
        _check_choice("idf", idf, _IDFS)
        self._model = _native.BM25Encoder(b, k1, idf == "document")
        self._idf = idf

    @classmethod
    def _wrap(cls, model: Any, idf: str) -> BM25Encoder:
        encoder = cls.__new__(cls)
        encoder._model = model
        encoder._idf = idf
        return encoder

    # Training.

    def fit(self, corpus: Iterable[Sequence[Token]], progress: bool = False,
            threads: int | None = None) -> BM25Encoder:
        """Trains on every token list of corpus (any iterable) and returns self.

        With ``progress=True`` a tqdm progress bar counts the documents when
        tqdm is installed. A corpus item that is not a token list raises
        TypeError naming its position; documents before it stay trained.

        With ``threads`` of 2 or more (default: the CPUs this process may run
        on) a large corpus trains on two native threads, one counting the
        tokens of each document while the other adds the counts of the
        documents before it; the statistics are exactly those of one thread.
        The call holds the interpreter lock throughout either way.
        """
        threads = thread_count(threads)
        if progress:
            corpus = _with_progress(corpus, "doc", "BM25 fit")
        if isinstance(corpus, (list, tuple)):
            self._model.train_batch(corpus, 0, threads)
            return self
        for first, chunk in _chunks(corpus, _FIT_CHUNK):
            self._model.train_batch(chunk, first, threads)
        return self

    def fit_texts(self, texts: Iterable[str], segmenter: Any = None, *, mode: str = "default",
                  threads: int | None = None, progress: bool = False) -> BM25Encoder:
        """Trains on the words of every text (any iterable of str), one
        document per text, and returns self: the statistics of
        ``fit(segmenter.cut_batch(texts, mode))``, bit for bit.

        segmenter is a `lumotext.Segmenter` (default: one built from the
        default data once per process) or any object with ``cut`` (and
        ``cut_for_search`` or ``cut_all`` for the modes "search" and "full").
        A `Segmenter` cuts and trains on ``threads`` native threads (default:
        the CPUs this process may run on) without making a Python object per
        word: faster than cutting and then fitting, even on one thread.

        A text that is not a str raises TypeError and one that cannot be
        encoded (a lone surrogate) ValueError, both naming it as
        ``texts[i]``. A list or tuple of texts trains all or nothing; other
        iterables are read in chunks of a few thousand texts, and the chunks
        before a failing one stay trained. ``progress=True`` shows a tqdm bar
        of the texts when tqdm is installed.
        """
        engine, mode_number, cut = _text_cutter(segmenter, mode)
        threads = thread_count(threads)
        if progress:
            texts = _with_progress(texts, "text", "BM25 fit_texts")
        if engine is None:
            return self.fit((cut(text) for text in _checked_texts(texts)), threads=threads)
        if isinstance(texts, (list, tuple)):
            _native.train_texts(self._model, engine, texts, mode_number, threads, 0)
            return self
        for first, chunk in _chunks(texts, _TEXT_CHUNK):
            _native.train_texts(self._model, engine, chunk, mode_number, threads, first)
        return self

    def train(self, tokens: Sequence[Token]) -> None:
        """Adds one document (a token list) to the statistics."""
        self._model.train(tokens)

    # Encoding.

    def encode_documents(self, docs: Iterable[Sequence[Token]], output: str = "dict", *,
                         threads: int | None = None) -> Any:
        """Document vectors of every token list of docs, in order: a list of
        dicts, a list of {"indices", "values"} dicts, or one csr_array with a
        row per document. Raises RuntimeError "BM25 has not been initialized"
        for a non-empty list before any training.

        With ``threads`` of 2 or more (default: the CPUs this process may run
        on) the weights of a large batch are computed on that many native
        threads, with the vectors and errors of one thread; the Python
        objects are made on the calling thread, which holds the interpreter
        lock throughout, so "csr" gains most.
        """
        _check_choice("output", output, _OUTPUTS)
        threads = thread_count(threads)
        docs = _as_sequence(docs)
        result = _without_gc(self._model.encode_documents, docs, _OUTPUTS[output], threads)
        return _csr(result, len(docs)) if output == "csr" else result

    def encode_texts(self, texts: Iterable[str], segmenter: Any = None, *, mode: str = "default",
                     output: str = "dict", threads: int | None = None) -> Any:
        """Document vectors of raw texts: ``encode_documents(
        segmenter.cut_batch(texts, mode), output)``, bit for bit, in the same
        formats (a dict's keys are the words).

        segmenter as for `fit_texts`. A `Segmenter` cuts and weighs on
        ``threads`` native threads (default: the CPUs this process may run
        on) without a Python object per word, reading a copy of the
        encoder's statistics, so other threads may go on training it.
        Errors as `fit_texts`; nothing is returned for a batch with a bad
        text.
        """
        engine, mode_number, cut = _text_cutter(segmenter, mode)
        _check_choice("output", output, _OUTPUTS)
        threads = thread_count(threads)
        texts = _as_sequence(texts)
        if engine is None:
            return self.encode_documents([cut(text) for text in _checked_texts(texts)], output, threads=threads)
        result = _native.encode_texts(self._model, engine, texts, mode_number, _OUTPUTS[output], threads)
        return _csr(result, len(texts)) if output == "csr" else result

    def encode_queries(self, queries: Iterable[Sequence[Token]], output: str = "dict", *,
                       threads: int | None = None) -> Any:
        """Query vectors (IDF weights summing to 1) of every token list of
        queries, in the formats and with the threads of encode_documents.
        Repeated tokens count once."""
        _check_choice("output", output, _OUTPUTS)
        threads = thread_count(threads)
        queries = _as_sequence(queries)
        result = _without_gc(self._model.encode_queries, queries, _OUTPUTS[output], threads)
        return _csr(result, len(queries)) if output == "csr" else result

    def encode_document(self, tokens: Sequence[Token], output: str = "dict") -> Any:
        """The vector of one document (a one-row matrix for "csr")."""
        result = self.encode_documents([tokens], output, threads=1)
        return result if output == "csr" else result[0]

    def encode_query(self, tokens: Sequence[Token], output: str = "dict") -> Any:
        """The vector of one query (a one-row matrix for "csr")."""
        result = self.encode_queries([tokens], output, threads=1)
        return result if output == "csr" else result[0]

    # Statistics.

    @property
    def b(self) -> float:
        """Length normalisation: 0 ignores the length, 1 normalises fully."""
        return self._model.b

    @property
    def k1(self) -> float:
        """Term-frequency saturation."""
        return self._model.k1

    @property
    def idf_kind(self) -> str:
        """"corpus" or "document": the IDF that query vectors use."""
        return self._idf

    @property
    def doc_count(self) -> int:
        """Number of trained documents."""
        return self._model.doc_count

    @property
    def avg_doc_length(self) -> float:
        """Average document length in tokens (0.0 before training)."""
        return self._model.avg_doc_length

    @property
    def vocabulary_size(self) -> int:
        """Number of distinct tokens trained (int tokens count under their
        decimal text, so 7 and "7" are one token)."""
        return self._model.vocabulary_size

    def token_count(self, token: Token) -> int:
        """Occurrences of token in the trained documents (0 if never seen)."""
        return self._model.token_count(token)

    def document_frequency(self, token: Token) -> int:
        """Number of trained documents that hold token (0 if none)."""
        self._require_document_frequencies()
        return self._model.document_frequency(token)

    def idf(self, token: Token) -> float:
        """The IDF of token under this encoder's idf kind (see the class)."""
        return self._model.idf(token)

    def _require_document_frequencies(self) -> None:
        if not self._model.document_frequency_known:
            raise ValueError("this encoder was loaded from a model document without document frequencies")

    # Combining, saving, pickling.

    def merge(self, other: BM25Encoder) -> BM25Encoder:
        """Adds other's statistics (documents, total length, occurrence and
        document counts) to this encoder and returns self. Merging the
        encoders of the parts of a corpus gives the encoder of the whole.
        Raises ValueError when b or k1 differ and OverflowError when a counter
        would pass its range; the encoder is unchanged then."""
        if not isinstance(other, BM25Encoder):
            raise TypeError(f"can only merge a BM25Encoder, not {type(other).__name__}")
        self._model.merge(other._model)
        return self

    def save(self, path: str | os.PathLike[str]) -> None:
        """Writes the JSON model document that pylumotext.BM25.load reads,
        with one more member, "_document_frequency". Floats are written with
        six decimals: pickle the encoder to keep full precision."""
        self._model.save(os.fspath(path))

    @classmethod
    def load(cls, path: str | os.PathLike[str], idf: str = "corpus") -> BM25Encoder:
        """Reads a model document written by save (or by pylumotext.BM25.dump,
        which has no document frequencies: such a model loads only with
        idf="corpus")."""
        _check_choice("idf", idf, _IDFS)
        with open(path, "rb") as file:
            encoder = cls._wrap(_native.BM25Encoder.load(file.read(), idf == "document"), idf)
        if idf == "document":
            encoder._require_document_frequencies()
        return encoder

    def __getstate__(self) -> tuple[str, bytes]:
        return (self._idf, self._model.state())

    def __setstate__(self, state: tuple[str, bytes]) -> None:
        idf, model = state
        _check_choice("idf", idf, _IDFS)
        self._model = _native.BM25Encoder.from_state(model, idf == "document")
        self._idf = idf

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, BM25Encoder):
            return NotImplemented
        return self._idf == other._idf and self._model.same_statistics(other._model)

    __hash__ = None  # type: ignore[assignment]

    def __repr__(self) -> str:
        return (f"BM25Encoder(b={self.b!r}, k1={self.k1!r}, idf={self._idf!r}; "
                f"doc_count={self.doc_count}, vocabulary_size={self.vocabulary_size})")
