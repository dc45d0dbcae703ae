"""The Python surface of BM25: construction, parameters, training, encoding,
argument dispatch and result dicts, checked against a plain Python version of
the formulas written here."""

import decimal
import math
import random

import pytest

from pylumotext import BM25

NOT_INITIALIZED = "BM25 has not been initialized"
EMPTY_TRAINING = "trainning tokens_vec should not be empty"


class Reference:
    """The formulas in plain Python, in the model's order of operations."""

    def __init__(self, b=0.75, k1=1.2):
        self.b, self.k1 = b, k1
        self.doc_count = 0
        self.total = 0
        self.average = 0.0
        self.frequency = {}

    @staticmethod
    def text(token):
        return str(token) if isinstance(token, int) else token

    def train(self, tokens):
        for token in tokens:
            key = self.text(token)
            self.frequency[key] = self.frequency.get(key, 0) + 1
        self.doc_count += 1
        self.total += len(tokens)
        self.average = self.total / self.doc_count

    def encode_document(self, tokens):
        counts = {}
        for token in tokens:
            counts[token] = counts.get(token, 0) + 1
        norm = ((len(tokens) / self.average) * self.b + (1.0 - self.b)) * self.k1
        return {token: tf / (tf + norm) for token, tf in sorted(counts.items())}

    def encode_query(self, tokens):
        n = self.doc_count + 1
        idf = {}
        for token in tokens:
            f = self.frequency.get(self.text(token))
            idf.setdefault(token, math.log(n / (f + 0.5)) if f is not None else math.log(n / 1.5))
        items = sorted(idf.items())
        total = 0.0
        for _, weight in items:
            total += weight
        return {token: weight / total for token, weight in items}


def trained():
    model = BM25()
    model.train(["a", "b", "a"])
    model.train(["b", "c"])
    return model


@pytest.mark.parametrize(
    "args, kwargs, b, k1",
    [
        ((), {}, 0.75, 1.2),
        ((0.3, 1.5), {}, 0.3, 1.5),
        ((0.5, 2.0), {}, 0.5, 2.0),
        ((), {"k1": 2.0}, 0.75, 2.0),
        ((), {"b": 0.1}, 0.1, 1.2),
        ((1, 2), {}, 1.0, 2.0),
        ((-1.0, -2.0), {}, -1.0, -2.0),
    ],
)
def test_constructor_keeps_b_then_k1_unvalidated(args, kwargs, b, k1):
    model = BM25(*args, **kwargs)
    assert model.b() == b and type(model.b()) is float
    assert model.k1() == k1


def test_non_finite_parameters_are_kept():
    model = BM25(float("nan"), float("inf"))
    assert math.isnan(model.b()) and model.k1() == math.inf


@pytest.mark.parametrize("name", ["b", "k1"])
def test_accessors_read_set_and_convert_int(name):
    model = BM25()
    assert getattr(model, name)(2) is None
    assert getattr(model, name)() == 2.0 and type(getattr(model, name)()) is float
    getattr(model, name)(0.25)
    assert getattr(model, name)() == 0.25
    with pytest.raises(TypeError):
        getattr(model, name)("0.5")
    with pytest.raises(TypeError):
        getattr(model, name)(0.5, 0.5)


def test_instances_have_no_dict():
    with pytest.raises(AttributeError):
        BM25().extra = 1


@pytest.mark.parametrize("empty", [[], ()])
def test_train_on_empty_raises_and_leaves_model_untrained(empty):
    model = BM25()
    with pytest.raises(RuntimeError, match=f"^{EMPTY_TRAINING}$"):
        model.train(empty)
    with pytest.raises(RuntimeError, match=f"^{NOT_INITIALIZED}$"):
        model.encode_document(["a"])


@pytest.mark.parametrize("method", ["encode_document", "encode_query"])
@pytest.mark.parametrize("empty", [[], ()])
def test_empty_encoding_is_empty_dict_even_untrained(method, empty):
    assert getattr(BM25(), method)(empty) == {}
    assert getattr(trained(), method)(empty) == {}


@pytest.mark.parametrize("method", ["encode_document", "encode_query"])
@pytest.mark.parametrize("tokens", [["a"], [1]])
def test_untrained_model_refuses_non_empty_input(method, tokens):
    with pytest.raises(RuntimeError, match=f"^{NOT_INITIALIZED}$"):
        getattr(BM25(), method)(tokens)


@pytest.mark.parametrize("method", ["train", "encode_document", "encode_query"])
@pytest.mark.parametrize(
    "argument",
    [
        "abc",  # a str is not a token sequence
        b"abc",  # nor is bytes
        ["a", 1],  # mixed kinds match neither overload
        [1, "a"],
        [1.0],  # a float is never a token
        [2**63],  # out of the signed 64-bit range
        [-(2**63) - 1],
        ["\ud800"],  # a lone surrogate has no UTF-8
        [None],
        {"a": 1},
        None,
    ],
)
def test_arguments_matching_no_overload_raise_type_error(method, argument):
    model = trained()
    with pytest.raises(TypeError):
        getattr(model, method)(argument)
    assert model.encode_query(["a"]) == {"a": 1.0}


def test_worked_examples():
    model = trained()
    document = model.encode_document(["a", "a", "d"])
    assert list(document) == ["a", "d"]
    assert document["a"] == pytest.approx(0.591716, abs=5e-7)
    assert document["d"] == pytest.approx(0.420168, abs=5e-7)
    query = model.encode_query(["a", "c", "z", "a"])
    assert list(query) == ["a", "c", "z"]
    assert [round(v, 6) for v in query.values()] == [0.116231, 0.441885, 0.441885]
    single = BM25()
    single.train(["a", "a", "a"])
    signed = single.encode_query(["a", "b"])
    assert [round(v, 6) for v in signed.values()] == [2.057912, -1.057912]


def test_document_of_average_length_and_zero_b():
    model = trained()
    model.train(["q", "r", "s", "t"])  # average now 3.0
    assert model.encode_document(["x", "y", "z"])["x"] == 1 / (1 + 1.2)
    model.b(0.0)
    assert model.encode_document(["x"])["x"] == 1 / (1 + 1.2)


def test_query_duplicates_add_nothing():
    model = trained()
    assert model.encode_query(["a"]) == {"a": 1.0}
    assert model.encode_query(["a", "a"]) == {"a": 1.0}
    assert model.encode_query(["a", "b", "a"]) == model.encode_query(["a", "b"])


def test_integer_and_string_tokens_share_statistics():
    model = BM25()
    model.train([7])
    model.train(["7", "8"])
    by_id = model.encode_query([7, 9])
    by_text = model.encode_query(["7", "9"])
    assert list(by_id) == [7, 9] and list(by_text) == ["7", "9"]
    assert list(by_id.values()) == list(by_text.values())


@pytest.mark.parametrize(
    "tokens, keys",
    [
        (["b", "a", "c"], ["a", "b", "c"]),
        (["a", "ab", "B", "é", "", "abcdefghi", "abcdefgh"], ["", "B", "a", "ab", "abcdefgh", "abcdefghi", "é"]),
        ([3, -1, 2], [-1, 2, 3]),
        ([10, 2, -1, 2**63 - 1, -(2**63)], [-(2**63), -1, 2, 10, 2**63 - 1]),
    ],
)
@pytest.mark.parametrize("method", ["encode_document", "encode_query"])
def test_result_keys_ascend(method, tokens, keys):
    assert list(getattr(trained(), method)(tokens)) == keys


def test_sequences_other_than_lists_are_accepted():
    model = BM25()
    model.train(("a", "b"))
    model.train(range(3))
    model.train(bytearray(b"a"))  # a sequence of ints: the byte 97
    assert list(model.encode_query(["0", "97"]).values()) == list(model.encode_query([0, 97]).values())
    assert model.encode_query(["97", "98"]) == {"97": 0.5, "98": 0.5}  # 97 trained once weighs as the unseen 98
    assert list(model.encode_document(range(2))) == [0, 1]


def test_bytes_items_are_raw_bytes():
    model = BM25()
    model.train([b"a", bytearray(b"b"), "a"])
    assert model.encode_query([b"a", "b"]) == model.encode_query(["a", "b"])
    assert model.encode_document([b"\xc3\xa9"]) == model.encode_document(["é"])
    model.train([b"\xff"])  # any bytes train
    with pytest.raises(UnicodeDecodeError):
        model.encode_document([b"\xff"])


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


def test_integer_like_items():
    model = BM25()
    model.train([True, 1, Index(2)])
    model.train([decimal.Decimal(3)])  # accepted in the conversion pass
    query = model.encode_query([True, Index(2), 3])
    assert list(query) == [1, 2, 3]
    assert all(type(key) is int for key in query)
    assert model.encode_query(["1"]) == {"1": 1.0}


def test_result_keys_reuse_the_callers_objects():
    model = trained()
    tokens = "".join(["x", "y"]), "".join(["é", "z"])
    for key, token in zip(model.encode_document(list(tokens)), tokens):
        assert key is token

    class Text(str):
        pass

    keys = list(model.encode_query([Text("a")]))
    assert keys == ["a"] and type(keys[0]) is str
    big = 10**15
    assert next(iter(model.encode_document([big]))) is big


@pytest.mark.parametrize("seed", range(5))
def test_matches_the_reference_formulas_exactly(seed):
    rng = random.Random(seed)
    words = ["".join(rng.choices("abcdé日", k=rng.randint(1, 12))) for _ in range(300)]
    model, reference = BM25(0.6 + seed / 10, 1.0 + seed / 5), None
    reference = Reference(model.b(), model.k1())
    for _ in range(60):
        if rng.random() < 0.3:
            doc = [rng.randint(-50, 300) for _ in range(rng.randint(1, 40))]
        else:
            doc = rng.choices(words, k=rng.randint(1, 40))
        model.train(doc)
        reference.train(doc)
    for _ in range(30):
        words_query = rng.choices(words, k=rng.randint(1, 30))
        ids_query = [rng.randint(-60, 320) for _ in range(rng.randint(1, 30))]
        for query in (words_query, ids_query):
            assert model.encode_document(query) == reference.encode_document(query)
            result = model.encode_query(query)
            expected = reference.encode_query(query)
            assert list(result) == list(expected)
            assert all(result[k] == expected[k] or (math.isnan(result[k]) and math.isnan(expected[k]))
                       for k in expected)
