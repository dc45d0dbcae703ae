"""BM25.load and dump under hostile input: deep nesting, unterminated strings,
huge member counts, numbers of ten thousand digits and random bytes. Each
either works as intended or raises a clear Python exception, and a failed
load leaves the model exactly as it was."""

import json
import math
import random
import time

import pytest

from pylumotext import BM25

NESTING_LINE = "ERROR: Parse: Nesting deeper than 512 levels at position 512, found '{}'\n"


def trained():
    model = BM25()
    model.train(["a", "b", "a"])
    model.train(["b", "c"])
    return model


def document_of(model, tmp_path):
    path = tmp_path / "model.json"
    model.dump(str(path))
    return path.read_bytes()


def members(frequency, count=1, average="1.000000"):
    return ('{"_b": 0.5, "_doc_count": %d, "_doc_length_average": %s, "_doc_token_frequency": %s, "_k1": 1.5}'
            % (count, average, frequency))


@pytest.mark.parametrize("opening", ["[", "{\"k\":", "[{\"k\":"])
def test_a_million_nesting_levels_raise_without_crashing(opening, capfd, tmp_path):
    model = trained()
    before = document_of(model, tmp_path)
    text = opening * (10**6 // len(opening))
    with pytest.raises(RuntimeError, match="^load doc_count failed$"):
        model.load(text)
    err = capfd.readouterr().err
    assert err.count("\n") == 1
    assert err.startswith("ERROR: Parse: Nesting deeper than 512 levels at position ")
    assert document_of(model, tmp_path) == before


def test_nesting_message_names_the_position_and_character(capfd):
    with pytest.raises(RuntimeError, match="^load doc_count failed$"):
        BM25().load("[" * 513)
    assert capfd.readouterr().err == NESTING_LINE.format("[")


@pytest.mark.parametrize("text, message", [
    ('"abc', "load doc_count failed"),
    ('{"_doc_count": 1, "_b": "', "load doc_length_average failed"),
    ('{"_doc_token_frequency": {"a', "load doc_count failed"),
    ('{"_doc_token_frequency": {"a": 1, "b\\', "load doc_count failed"),
    ('"\\u12', "load doc_count failed"),
])
def test_unterminated_strings_fail_cleanly(text, message, tmp_path, capfd):
    model = trained()
    before = document_of(model, tmp_path)
    with pytest.raises(RuntimeError, match="^" + message + "$"):
        model.load(text)
    assert capfd.readouterr().err != ""
    assert document_of(model, tmp_path) == before


def test_a_million_members_load_and_dump_back_identically(tmp_path):
    count = 10**6
    tokens = sorted("t%07d" % i for i in range(count))
    lines = ",\n".join('    "%s" : %d' % (token, i % 1000 + 1) for i, token in enumerate(tokens))
    text = ("{\n  \"_b\" : 0.750000,\n  \"_doc_count\" : 1000,\n  \"_doc_length_average\" : 2.500000,\n"
            "  \"_doc_token_frequency\" : {\n" + lines + "\n  },\n  \"_k1\" : 1.200000\n}")
    model = BM25()
    model.load(text)
    assert document_of(model, tmp_path) == text.encode()


def test_a_million_members_of_the_wrong_kind_fail_without_change(tmp_path):
    body = ", ".join('"k%d": "x"' % i for i in range(10**6))
    model = trained()
    before = document_of(model, tmp_path)
    with pytest.raises(RuntimeError, match="^load doc_token_frequency failed$"):
        model.load(members("{" + body + "}"))
    assert document_of(model, tmp_path) == before


@pytest.mark.parametrize("member, exception, message", [
    ('"_doc_count": 1' + "0" * 10**4, IndexError, "stol argument out of range"),
    ('"_doc_count": -' + "9" * 10**4, IndexError, "stol argument out of range"),
    ('"_b": 1' + "0" * 10**4 + ".5", IndexError, "stod argument out of range"),
    ('"_b": 0.' + "0" * 10**4 + "1", IndexError, "stod argument out of range"),
    ('"_b": 1e' + "9" * 10**4, IndexError, "stol argument out of range"),
    ('"_doc_token_frequency": {"a": ' + "7" * 10**4 + "}", IndexError, "stol argument out of range"),
    ('"_b": -' + "-" * 10**4 + "1", ValueError, "invalid stol argument"),
    ('"_b": -' + "." * 10**4, ValueError, "invalid stod argument"),
], ids=["count", "negative_count", "float_overflow", "float_underflow", "exponent", "token_count", "minuses",
        "points"])
def test_numbers_of_ten_thousand_characters_raise(member, exception, message, tmp_path):
    model = trained()
    before = document_of(model, tmp_path)
    with pytest.raises(exception, match="^" + message + "$"):
        model.load("{" + member + " }")
    assert document_of(model, tmp_path) == before


def test_ten_thousand_digit_numbers_that_fit_load(tmp_path):
    model = BM25()
    model.load('{"_b": 0.' + "0" * 9999 + ', "_doc_count": ' + "0" * 9999 + "3"
               ', "_doc_length_average": 2.' + "5" * 9999 + ', "_k1": 1' + "0" * 5 + ".0 }")
    text = document_of(model, tmp_path).decode()
    assert '"_b" : 0.000000,' in text
    assert '"_doc_count" : 3,' in text
    assert '"_doc_length_average" : 2.555556,' in text
    assert '"_k1" : 100000.000000' in text


@pytest.mark.parametrize("seed", range(4))
def test_random_bytes_raise_only_the_documented_exceptions(seed, tmp_path, capfd):
    rng = random.Random(seed)
    alphabet = b'{}[]":,.-+eE0123456789 \t\ntruefalsn\\u_abdk'
    model = trained()
    before = document_of(model, tmp_path)
    for _ in range(300):
        length = rng.randrange(1, 200)
        if rng.random() < 0.5:
            text = bytes(rng.randrange(256) for _ in range(length))
        else:
            text = bytes(rng.choice(alphabet) for _ in range(length))
        try:
            model.load(text)
        except (RuntimeError, ValueError, IndexError):
            assert document_of(model, tmp_path) == before
        else:
            before = document_of(model, tmp_path)
    capfd.readouterr()


def test_dump_of_tokens_with_every_byte_round_trips(tmp_path):
    model = BM25()
    tokens = [bytes([i]) for i in range(1, 256)] + [b'"', b"\\", b"\\n", b"a\"b\\c\n\t\r\x08\x0c", b"\x00x"]
    model.train(tokens)
    path = tmp_path / "model.json"
    model.dump(str(path))
    again = BM25()
    again.load(path.read_bytes())
    path2 = tmp_path / "again.json"
    again.dump(str(path2))
    assert path2.read_bytes() == path.read_bytes()


def extend_by_a_hundred_thousand(tokens):
    tokens.extend(range(10**6, 10**6 + 100000))


def replace_every_item(tokens):
    tokens[:] = [3] * len(tokens)


@pytest.mark.parametrize("mutate", [extend_by_a_hundred_thousand, list.clear, replace_every_item])
@pytest.mark.parametrize("method", ["train", "encode_document", "encode_query"])
def test_items_that_change_their_list_while_read_see_the_list_as_it_was(method, mutate, tmp_path):
    class Changing:
        def __index__(self):
            mutate(tokens)
            return 7

    tokens = [Changing()] + [10**9 + i for i in range(5000)]
    as_read = [7] + tokens[1:]
    model, reference = trained(), trained()
    assert getattr(model, method)(tokens) == getattr(reference, method)(as_read)
    assert document_of(model, tmp_path) == document_of(reference, tmp_path)


def test_tokens_crafted_to_collide_train_and_load_quickly(tmp_path):
    # Without a secret seed these 128,000 tokens share one hash, and training
    # on them took half a minute.
    tokens = [(0xE7037ED1A0B428DB).to_bytes(8, "little") + i.to_bytes(4, "little") for i in range(128000)]
    model = BM25()
    start = time.perf_counter()
    model.train(tokens)
    BM25().load(document_of(model, tmp_path))
    assert time.perf_counter() - start < 2.0


@pytest.mark.parametrize("settings", [{"b": math.nan}, {"k1": math.inf}, {"k1": -math.inf}, {"average": "10.0e308"}])
def test_a_model_that_cannot_be_read_back_is_not_dumped(settings, tmp_path):
    model = BM25(settings.get("b", 0.75), settings.get("k1", 1.2))
    if "average" in settings:
        model.load(members("{}", average=settings["average"]))
    path = tmp_path / "model.json"
    path.write_text("kept")
    with pytest.raises(RuntimeError, match="^Failed to dump: "):
        model.dump(str(path))
    assert path.read_text() == "kept"
    with pytest.raises(RuntimeError, match="^Failed to dump: "):
        model.dump(str(tmp_path / "new.json"))
    assert list(tmp_path.iterdir()) == [path]


def test_a_model_survives_standard_json_tools(tmp_path):
    model = BM25(-0.5, 1.5)
    model.train(["中文", "😀", "a\x01b", "\x00", "\x1f", "tab\there", 'q"uote', "back\\slash", "\\u00e9", "\x7f"])
    first = document_of(model, tmp_path)
    assert b'"a\\u0001b"' in first and b'"\\u0000"' in first and b'"_b" : -0.500000' in first
    path = tmp_path / "standard.json"
    with open(path, "w") as output:
        json.dump(json.loads(first), output)
    assert b"\\u4e2d\\u6587" in path.read_bytes() and b"\\ud83d\\ude00" in path.read_bytes()
    restored = BM25()
    restored.load(path.read_text())
    assert document_of(restored, tmp_path) == first
