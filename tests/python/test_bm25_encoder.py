"""lumotext.BM25Encoder: equality with pylumotext.BM25, the document IDF worked
by hand, index outputs against the mmh3 package, merging, saving and pickling."""

import array
import collections
import gc
import json
import math
import os
import pickle
import random
import sys

import mmh3
import numpy as np
import pytest
import scipy.sparse

import lumotext.bm25
import pylumotext
from lumotext import BM25Encoder


def corpus(kind, seed=3, docs=60):
    rng = random.Random(seed)
    words = ["的", "音乐", "贝多芬", "a", "B", "ab", "x\"y", "长" * 20] + [f"w{i}" for i in range(40)]
    lists = [[rng.choice(words[: rng.randint(3, len(words))]) for _ in range(rng.randint(1, 30))]
             for _ in range(docs)]
    return [[rng.randrange(1000) for _ in doc] for doc in lists] if kind == "int" else lists


def index_of(token):
    return token if isinstance(token, int) else mmh3.hash(token, 0, signed=False)


@pytest.mark.parametrize("kind", ["str", "int"])
def test_corpus_idf_vectors_equal_pylumotext_in_every_format(kind):
    docs = corpus(kind)
    queries = corpus(kind, seed=4, docs=20) + [[7, 7, 123456] if kind == "int" else ["unseen", "的", "的"]]
    encoder = BM25Encoder().fit(iter(docs))
    model = pylumotext.BM25()
    for doc in docs:
        model.train(doc)
    for batch, encode_batch, encode_one in [(docs, encoder.encode_documents, model.encode_document),
                                            (queries, encoder.encode_queries, model.encode_query)]:
        expected = [encode_one(tokens) for tokens in batch]
        assert encode_batch(batch) == expected
        sparse = encode_batch(batch, output="sparse")
        for vector, weights in zip(sparse, expected):
            by_index = sorted((index_of(token), weight) for token, weight in weights.items())
            assert vector == {"indices": [i for i, _ in by_index], "values": [w for _, w in by_index]}
        matrix = encode_batch(batch, output="csr")
        assert isinstance(matrix, scipy.sparse.csr_array) and matrix.shape == (len(batch), 2**32)
        for row, vector in enumerate(sparse):
            start, end = matrix.indptr[row], matrix.indptr[row + 1]
            assert matrix.indices[start:end].tolist() == vector["indices"]
            assert matrix.data[start:end].tolist() == vector["values"]
    assert (encoder.doc_count, encoder.avg_doc_length) == (len(docs), sum(map(len, docs)) / len(docs))


@pytest.mark.parametrize("token", ["", "a", "ab", "abc", "abcd", "abcde", "音乐", "😀 emoji", "长" * 37,
                                   b"\xff\x00raw"])
def test_str_indices_are_unsigned_murmur3_x86_32_of_utf8(token):
    encoder = BM25Encoder().fit([[token]])
    assert encoder.encode_query([token], output="sparse")["indices"] == [mmh3.hash(token, 0, signed=False)]


def test_document_idf_hand_worked():
    encoder = BM25Encoder(idf="document").fit([["a", "a", "b"], ["b", "c"], ["a"], []])
    # N = 4 (the empty document counts); df: a 2, b 2, c 1, z 0; occurrences a 3.
    assert [encoder.document_frequency(t) for t in "abcz"] == [2, 2, 1, 0]
    assert [encoder.token_count(t) for t in "abcz"] == [3, 2, 1, 0]
    idf = {"a": math.log(1 + 2.5 / 2.5), "c": math.log(1 + 3.5 / 1.5), "z": math.log(1 + 4.5 / 0.5)}
    assert [encoder.idf(t) for t in "acz"] == [idf["a"], idf["c"], idf["z"]]
    total = idf["a"] + idf["c"] + idf["z"]
    assert encoder.encode_query(["z", "a", "c", "a"]) == {t: idf[t] / total for t in "acz"}
    assert (encoder.doc_count, encoder.avg_doc_length, encoder.vocabulary_size) == (4, 1.5, 3)


def test_frequent_token_weight_negative_with_corpus_idf_positive_with_document_idf():
    docs = [["的", "的", "的", "音乐"], ["的", "的", "天气"]]
    corpus_weights = BM25Encoder().fit(docs).encode_query(["的", "音乐"])
    document_weights = BM25Encoder(idf="document").fit(docs).encode_query(["的", "音乐"])
    assert corpus_weights["的"] < 0 < corpus_weights["音乐"]
    assert all(w > 0 for w in document_weights.values()) and math.isclose(sum(document_weights.values()), 1)


@pytest.mark.parametrize("call, error, message", [
    (lambda e: e.encode_document([-1], output="sparse"), ValueError, "integer token -1 is not an index"),
    (lambda e: e.encode_query([2**32], output="csr"), ValueError, "integer token 4294967296 is not an index"),
    (lambda e: e.encode_document(["a", 1]), TypeError, "mixes str and int tokens (item 1"),
    (lambda e: e.fit([["a"], "ab"]), TypeError, "not str of document 1"),
    (lambda e: e.encode_documents([["a"], [1.5]]), TypeError, "token 0 of document 1 is float"),
    (lambda e: e.encode_document(["a"], output="coo"), ValueError, "output must be one of 'dict', 'sparse', 'csr'"),
    (lambda e: e._model.encode_documents([["a"]], 7, 1), ValueError, "output must be 0, 1 or 2"),  # the native layer too
    (lambda e: BM25Encoder(idf="bm25"), ValueError, "idf must be one of 'corpus', 'document'"),
    (lambda e: BM25Encoder(b=1.5), ValueError, "b must lie between 0 and 1"),
    (lambda e: e.fit([["a"]], threads=0), ValueError, "threads must be at least 1, not 0"),
    (lambda e: e.encode_queries([["a"]], threads=0), ValueError, "threads must be at least 1, not 0"),
    (lambda e: BM25Encoder().encode_document(["a"]), RuntimeError, "BM25 has not been initialized"),
])
def test_bad_input_raises_clear_errors(call, error, message):
    encoder = BM25Encoder().fit([["a"], [1]])
    with pytest.raises(error) as raised:
        call(encoder)
    assert message in str(raised.value)


def test_fit_reads_iterators_in_chunks_and_names_the_failing_document(monkeypatch):
    monkeypatch.setattr(lumotext.bm25, "_FIT_CHUNK", 2)
    docs = corpus("str", docs=7)
    assert BM25Encoder().fit(iter(docs), progress=True) == BM25Encoder().fit(docs)
    with pytest.raises(TypeError, match="of document 5"):
        BM25Encoder().fit(iter(docs[:5] + [None]))


class SideTrainingIndex:
    """An int-like token whose __index__ trains the encoder being fitted."""

    def __init__(self, value, encoder):
        self.value, self.encoder = value, encoder

    def __index__(self):
        self.encoder.train(["side", "a"])
        return self.value


@pytest.mark.parametrize("failing", [None, 250])
def test_fit_on_two_threads_equals_one_thread_and_stops_where_it_would(failing):
    def corpus_for(encoder):
        # Over 2**16 tokens, so that two threads train; some documents run
        # Python code as they are read.
        docs = [doc * 20 for doc in corpus("str", docs=300)] + [tuple(doc) for doc in corpus("int", docs=100)]
        docs[40] = [SideTrainingIndex(7, encoder)] * 3
        docs[41] = collections.UserList(docs[41])
        docs[42] = [type("Text", (str,), {})("a"), b"b"]
        if failing:
            docs[failing] = ["a", 1.5]
        return docs

    encoders = []
    for threads in (1, 2):
        encoder = BM25Encoder(idf="document")
        if failing:
            with pytest.raises(TypeError, match=f"token 1 of document {failing} is float"):
                encoder.fit(corpus_for(encoder), threads=threads)
        else:
            encoder.fit(corpus_for(encoder), threads=threads)
        assert gc.isenabled()
        encoders.append(encoder)
    assert encoders[0] == encoders[1]
    assert encoders[1].doc_count == (failing or 400) + 3 and encoders[1].token_count("side") == 3


class Text(str):
    pass


class ListClearingIndex:
    """An int-like token whose __index__ empties another document's list."""

    def __init__(self, value, victim):
        self.value, self.victim = value, victim

    def __index__(self):
        self.victim.clear()
        return self.value


@pytest.mark.parametrize("method", ["encode_documents", "encode_queries"])
@pytest.mark.parametrize("output", ["dict", "sparse", "csr"])
@pytest.mark.parametrize("failing", [None, "read", "read after weigh", "read before weigh"])
def test_encoding_on_two_threads_equals_one_thread_and_fails_where_it_would(method, output, failing):
    encoder = BM25Encoder().fit(corpus("str") + corpus("int"))

    def batch():
        # Over 2**15 tokens of fresh str objects, so that two threads weigh;
        # some documents run Python code as they are read, one of them
        # freeing the tokens of a document encoded before.
        docs = ([" ".join(doc * 10).split(" ") for doc in corpus("str", seed=5, docs=200)]
                + [tuple(doc * 10) for doc in corpus("int", seed=6, docs=100)])
        docs[150] = [ListClearingIndex(7, docs[20])] * 2
        docs[151] = collections.UserList(docs[151])
        docs[152] = [Text(token) for token in docs[152]]  # a str subclass: read on the calling thread
        if failing == "read before weigh":
            docs[199] = ["a", 1.5]
        if failing:
            docs[250] = ["a", 1.5]
        if failing in ("read after weigh", "read before weigh"):
            docs[200] = [-1]  # no index: the vector outputs fail here first, in the same chunk
        return docs

    results = []
    for threads in (1, 2):
        try:
            results.append(getattr(encoder, method)(batch(), output, threads=threads))
        except (TypeError, ValueError) as error:
            results.append((type(error), str(error)))
    expected, got = results
    if failing == "read before weigh":
        assert got == expected == (TypeError, "token 1 of document 199 is float, not str or int")
    elif failing == "read" or (failing and output == "dict"):
        assert got == expected == (TypeError, "token 1 of document 250 is float, not str or int")
    elif failing:
        assert got == expected == (ValueError, "integer token -1 is not an index: integer tokens must be "
                                               "non-negative and fit in 32 bits")
    elif output == "csr":
        assert (got.indptr == expected.indptr).all() and (got != expected).nnz == 0
    else:
        assert got == expected and all(list(a) == list(b) for a, b in zip(got, expected))
    assert gc.isenabled()


def mapping_flags(address):
    """The kernel's flags of the mapping that holds address ("hg": offered huge pages)."""
    with open("/proc/self/smaps") as smaps:
        holds = False
        for line in smaps:
            field = line.split(maxsplit=1)[0]
            if not field.endswith(":"):  # a mapping's header: start-end perms ...
                start, end = (int(bound, 16) for bound in field.split("-"))
                holds = start <= address < end
            elif holds and field == "VmFlags:":
                return line.split()[1:]
    raise AssertionError(f"no mapping holds {address:#x}")


@pytest.mark.skipif(not os.path.isdir("/sys/kernel/mm/transparent_hugepage"), reason="no transparent huge pages")
@pytest.mark.parametrize("threads", [1, 2])
def test_large_csr_arrays_are_offered_huge_pages(threads):
    # Filling fresh arrays of this size is mostly page faults, a fifth of a
    # call in 4 KB pages.
    docs = [list(range(i, i + 100)) for i in range(6000)]  # 600,000 entries: 4.8 MB an array
    matrix = BM25Encoder().fit(docs).encode_documents(docs, output="csr", threads=threads)
    for entries in (matrix.indices, matrix.data):
        assert "hg" in mapping_flags(entries.ctypes.data + entries.nbytes // 2)


@pytest.mark.parametrize("threads", [1, 2])
def test_str_tokens_weigh_as_their_utf8_bytes_and_keep_their_size(threads):
    # Fresh str objects of every storage width (Latin-1, BMP, astral) hold no
    # UTF-8 of their own: reading them must neither need it nor add it.
    rng = random.Random(7)
    words = ["café", "ÿ", "中文", "音乐", "长" * 20, "😀", "a😀中é", "plain"]
    docs = [[rng.choice(words) for _ in range(rng.randint(1, 400))] for _ in range(400)]
    str_docs = [" ".join(doc).split(" ") for doc in docs]
    byte_docs = [[token.encode() for token in doc] for doc in docs]
    sizes = [sys.getsizeof(token) for doc in str_docs for token in doc]
    encoder = BM25Encoder().fit(str_docs, threads=threads)
    assert encoder == BM25Encoder().fit(byte_docs, threads=threads)
    for method in (encoder.encode_documents, encoder.encode_queries):
        assert method(str_docs, output="sparse", threads=threads) == method(byte_docs, output="sparse", threads=threads)
    # Dict keys of every width, hashed off the calling thread with two: found
    # by equal str objects made anew.
    vectors = encoder.encode_documents(str_docs, threads=threads)
    assert vectors == encoder.encode_documents(str_docs, threads=1)
    assert all(vector["".join(list(key))] == weight for vector in vectors for key, weight in vector.items())
    # Tokens that occur once weigh the same: their weights share one float.
    assert len({id(weight) for weight in encoder.encode_documents([words])[0].values()}) == 1
    model, byte_model = pylumotext.BM25(), pylumotext.BM25()
    for doc, byte_doc in zip(str_docs, byte_docs):
        model.train(doc)
        byte_model.train(byte_doc)
    assert [model.encode_query(doc) for doc in str_docs] == [byte_model.encode_query(doc) for doc in byte_docs]
    assert [sys.getsizeof(token) for doc in str_docs for token in doc] == sizes


BUFFERS = {
    "int64": lambda ids: np.array(ids, dtype=np.int64),
    "uint16": lambda ids: np.array(ids, dtype=np.uint16),
    "big-endian": lambda ids: np.array(ids, dtype=">i4"),  # read item by item, as before
    "strided": lambda ids: np.repeat(np.array(ids, dtype=np.uint32), 2)[::2],
    "array.array": lambda ids: array.array("q", ids),
    "memoryview": lambda ids: memoryview(array.array("i", ids)),
}


@pytest.mark.parametrize("threads", [1, 2])
@pytest.mark.parametrize("kind", BUFFERS)
def test_buffers_of_ids_read_as_the_lists_they_hold(kind, threads):
    lists = corpus("int", seed=8, docs=5000)  # enough tokens for two threads
    buffers = [BUFFERS[kind](doc) for doc in lists]
    encoder = BM25Encoder().fit(buffers, threads=threads)
    assert encoder == BM25Encoder().fit(lists)
    for method in (encoder.encode_documents, encoder.encode_queries):
        for output in ("dict", "sparse"):
            assert method(buffers, output, threads=threads) == method(lists, output, threads=1)
    too_large = [buffers[0], np.array([3, 2**64 - 1], dtype=np.uint64)]
    with pytest.raises(ValueError, match=r"^integer token 18446744073709551615 does not fit in 64 bits$"):
        encoder.encode_documents(too_large, threads=threads)


@pytest.mark.parametrize("idf", ["corpus", "document"])
def test_merging_a_partition_equals_fitting_the_whole(idf):
    docs = corpus("str", docs=90) + corpus("int", docs=30)
    parts = [BM25Encoder(idf=idf).fit(docs[i::4]) for i in range(4)]
    merged = parts[0].merge(parts[1]).merge(parts[2].merge(parts[3]))
    whole = BM25Encoder(idf=idf).fit(docs[0::4] + docs[1::4] + docs[2::4] + docs[3::4])
    assert merged == whole and merged.avg_doc_length == whole.avg_doc_length
    assert merged.encode_queries(docs) == whole.encode_queries(docs)
    twice = pickle.loads(pickle.dumps(whole)).merge(whole)
    assert (twice.doc_count, twice.token_count("的")) == (2 * whole.doc_count, 2 * whole.token_count("的"))


def write_model(path, doc_count, frequencies):
    table = ", ".join(f'"{token}" : {count}' for token, count in frequencies.items())
    path.write_text(f'{{"_b" : 0.750000, "_doc_count" : {doc_count}, "_doc_length_average" : 1.000000, '
                    f'"_doc_token_frequency" : {{{table}}}, "_k1" : 1.200000, "_document_frequency" : {{}}}}')
    return BM25Encoder.load(path)


@pytest.mark.parametrize("doc_count, frequencies, message", [
    (2147483647, {}, "document count would pass 2147483647"),
    (5, {"a": 2147483647}, "count of a token would pass 2147483647"),
])
def test_merge_refuses_overflow_and_different_parameters(tmp_path, doc_count, frequencies, message):
    big = write_model(tmp_path / "big.json", doc_count, frequencies)
    small = BM25Encoder().fit([["a"]])
    before = pickle.dumps(small)
    with pytest.raises(OverflowError, match=message):
        small.merge(big)
    assert small == pickle.loads(before)
    with pytest.raises(ValueError, match="b or k1 differ"):
        small.merge(BM25Encoder(k1=1.5).fit([["a"]]))


def test_save_writes_the_model_document_plus_document_frequencies(tmp_path):
    docs = [["a", "b", "a"], ["b", "c", "c"], ['q"uote', "back\\slash", "c"]]  # average 3.0
    encoder = BM25Encoder(idf="document").fit(docs)
    encoder.save(tmp_path / "model.json")
    text = (tmp_path / "model.json").read_text()
    assert text.endswith('"_document_frequency" : {\n    "a" : 1,\n    "b" : 2,\n'
                         '    "back\\\\slash" : 1,\n    "c" : 2,\n    "q\\"uote" : 1\n  },\n  "_k1" : 1.200000\n}')
    model = pylumotext.BM25()
    model.load(text)
    assert model.encode_query(["a", "c"]) == BM25Encoder().fit(docs).encode_query(["a", "c"])
    assert BM25Encoder.load(tmp_path / "model.json", idf="document") == encoder
    model.dump(str(tmp_path / "plain.json"))
    with pytest.raises(ValueError, match="without document frequencies"):
        BM25Encoder.load(tmp_path / "plain.json", idf="document")
    assert BM25Encoder.load(tmp_path / "plain.json").encode_query(["a", "c"]) == model.encode_query(["a", "c"])


def test_pickles_keep_the_exact_state():
    docs = [["a", "b", "a"], ["b"], [7, 7, -5]]
    encoder = BM25Encoder(b=0.123456789, k1=1.0 / 3.0, idf="document").fit(docs)
    copy = pickle.loads(pickle.dumps(encoder))
    assert copy == encoder and copy.idf_kind == "document" and copy.avg_doc_length == 7 / 3
    assert (copy.b, copy.k1) == (0.123456789, 1.0 / 3.0)
    model = pylumotext.BM25(0.123456789, 1.0 / 3.0)
    for doc in docs:
        model.train(doc)
    restored = pickle.loads(pickle.dumps(model))
    assert (restored.b(), restored.k1()) == (0.123456789, 1.0 / 3.0)
    restored.train(["a", "x"])  # the total length came along: the average stays exact
    model.train(["a", "x"])
    for tokens in (["a", "b", "x", "z"], ["7", "-5"]):
        assert restored.encode_query(tokens) == model.encode_query(tokens)
        assert restored.encode_document(tokens) == model.encode_document(tokens)
    with pytest.raises(ValueError, match="malformed BM25 state"):
        pylumotext.BM25.__new__(pylumotext.BM25).__setstate__((b"\x01short",))


def test_integer_like_tokens_and_str_subclasses_are_read_as_their_values():
    numpy = pytest.importorskip("numpy")

    class Text(str):
        def __hash__(self):
            raise AssertionError("no Python code runs while the vectors are built")

    encoder = BM25Encoder().fit([numpy.array([3, 3, 5]), [Text("a"), "b"]])
    assert encoder.token_count(3) == 2 and encoder.token_count("a") == 1
    assert encoder.encode_document(numpy.array([5, 3])) == encoder.encode_document([5, 3])
    vector = encoder.encode_document([Text("a"), "b"])
    assert vector == encoder.encode_document(["a", "b"]) and all(type(key) is str for key in vector)


def test_saved_files_survive_standard_json_tools(tmp_path):
    # Control bytes and non-ASCII keys in both tables, re-saved by Python's json.
    encoder = BM25Encoder(idf="document").fit([["a\x01b", "中文"], ["中文", "\x1f"]])
    encoder.save(tmp_path / "model.json")
    document = json.loads((tmp_path / "model.json").read_text(encoding="utf-8"))
    assert document["_document_frequency"] == {"a\x01b": 1, "中文": 2, "\x1f": 1}
    (tmp_path / "resaved.json").write_text(json.dumps(document), encoding="utf-8")
    assert BM25Encoder.load(tmp_path / "resaved.json", idf="document") == encoder
