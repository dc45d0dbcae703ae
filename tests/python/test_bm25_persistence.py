"""BM25.load and BM25.dump: the document text, round trips of any token,
all-or-nothing loading, safe file replacement and the error messages."""

import os
import stat
import subprocess
import sys
import textwrap

import pytest

from pylumotext import BM25

TRAINED_TEXT = (
    "{\n"
    '  "_b" : 0.750000,\n'
    '  "_doc_count" : 2,\n'
    '  "_doc_length_average" : 2.500000,\n'
    '  "_doc_token_frequency" : {\n'
    '    "a" : 2,\n'
    '    "b" : 2,\n'
    '    "c" : 1\n'
    "  },\n"
    '  "_k1" : 1.200000\n'
    "}"
)

UNTRAINED_TEXT = (
    "{\n"
    '  "_b" : 0.750000,\n'
    '  "_doc_count" : 0,\n'
    '  "_doc_length_average" : 0.000000,\n'
    '  "_doc_token_frequency" : {\n'
    "\n"
    "  },\n"
    '  "_k1" : 1.200000\n'
    "}"
)


def trained():
    model = BM25()
    model.train(["a", "b", "a"])
    model.train(["b", "c"])
    return model


def dumped(model, tmp_path, name="model.json"):
    path = tmp_path / name
    model.dump(str(path))
    return path.read_bytes().decode("utf-8", "surrogateescape")


def document(tokens="", doc_count="2", average="2.500000", b="0.750000", k1="1.200000"):
    return (f'{{"_doc_token_frequency" : {{{tokens}}}, "_doc_count" : {doc_count} , '
            f'"_doc_length_average" : {average} , "_b" : {b} , "_k1" : {k1} }}')


def test_dump_writes_the_documented_layouts(tmp_path):
    assert dumped(trained(), tmp_path) == TRAINED_TEXT
    assert dumped(BM25(), tmp_path, "untrained.json") == UNTRAINED_TEXT
    assert sorted(os.listdir(tmp_path)) == ["model.json", "untrained.json"]  # no temporary left


def test_round_trip_encodes_like_the_dumped_model(tmp_path):
    model = BM25(0.6, 1.7)
    for doc in (["x", "y", "x"], ["y", "z"], [1, 2, 3, 3]):
        model.train(doc)
    model.dump(str(tmp_path / "m.json"))
    restored = BM25()
    restored.load((tmp_path / "m.json").read_text())
    assert (restored.b(), restored.k1()) == (0.6, 1.7)
    for query in (["x", "z", "w"], [1, 3, 9]):
        assert restored.encode_query(query) == model.encode_query(query)
    assert restored.encode_document(["x", "y"]) == pytest.approx(model.encode_document(["x", "y"]), abs=1e-6)
    assert dumped(restored, tmp_path, "again.json") == dumped(model, tmp_path, "first.json")


TRICKY_TOKENS = ['x"y', "back\\slash", "line\nfeed", "tab\t", "\b\f\r", "\\n", '\\"', "\\u00e9",
                 "/slash", "\x01\x7f", "é日本", "", " ", "\\", '"']


def test_every_token_survives_dump_and_load(tmp_path):
    model = BM25()
    model.train(TRICKY_TOKENS * 2)  # twice: a token seen once weighs as an unseen one
    model.train([b"\xff\xfe", b"\x00"])
    model.dump(str(tmp_path / "m.json"))
    restored = BM25()
    restored.load((tmp_path / "m.json").read_bytes())  # bytes: the text holds the byte 0xff
    for token in TRICKY_TOKENS:
        query = [token, "never"]
        assert list(restored.encode_query(query).values()) == list(model.encode_query(query).values()), query
    # Byte tokens that are not UTF-8 have no str key; the documents compare.
    restored.dump(str(tmp_path / "again.json"))
    assert (tmp_path / "again.json").read_bytes() == (tmp_path / "m.json").read_bytes()
    assert b'    "\xff\xfe" : 1\n' in (tmp_path / "m.json").read_bytes()


def test_plain_tokens_are_written_unescaped(tmp_path):
    model = BM25()
    model.train(["é", "a/b", "x y"])
    text = dumped(model, tmp_path)
    assert '    "a/b" : 1,\n    "x y" : 1,\n    "é" : 1\n' in text


def test_old_document_with_raw_line_feed_key_loads_as_real_line_feed():
    model = BM25()
    model.load(document(tokens='"a\nb" : 4'))
    query = model.encode_query(["a\nb", "never"])
    assert query["a\nb"] < query["never"]  # the token counts 4, "never" none


def test_load_sets_counts_and_keeps_unnamed_tokens():
    model = trained()
    model.load(document(tokens='"a" : 5'))
    reference = BM25()
    reference.load(document(tokens='"a" : 5, "b" : 2, "c" : 1'))
    assert model.encode_query(["a", "b", "c"]) == reference.encode_query(["a", "b", "c"])


def test_load_without_token_table_keeps_the_table():
    model = trained()
    before = model.encode_query(["a", "b", "c"])
    model.load('{"_k1" : 1.200000, "_b" : 0.750000, "_doc_count" : 2, "_doc_length_average" : 2.500000}')
    assert model.encode_query(["a", "b", "c"]) == before


def test_load_accepts_extra_members_any_order_and_white_space():
    model = BM25()
    model.load('\n\t {  "_k1":2.5 ,"zzz" : [1, 2, {"q" : null}], "_b":\r\n0.5,"_doc_length_average" : 3.0,'
               '"_doc_count" : 4 ,\v"_doc_token_frequency" : { "t" : 1 } }  trailing words')
    assert (model.b(), model.k1()) == (0.5, 2.5)
    assert model.encode_document(["t", "t", "u"]) == {"t": 2 / (2 + 2.5), "u": 1 / (1 + 2.5)}


STATE_PROBE = ["a", "b", "c", "x"]


def state(model, tmp_path):
    return dumped(model, tmp_path, "state.json")


@pytest.mark.parametrize(
    "text, message",
    [
        (document(tokens='"a" : 1, "b" : 1.5'), "load doc_token_frequency failed"),
        (document(tokens='"a" : "1"', doc_count="null"), "load doc_token_frequency failed"),
        (document(doc_count="2.0"), "load doc_count failed"),
        (document(doc_count='"2"', average="3"), "load doc_count failed"),
        (document(average="2"), "load doc_length_average failed"),
        (document(b="1"), "load b failed"),
        (document(b="true", k1="1"), "load b failed"),
        (document(k1="null"), "load k1 failed"),
        (document(tokens='"x"y" : 1'), "load doc_count failed"),  # the raw quote ends the key early
        ("[1, 2]", "load doc_count failed"),
        ("hello", "load doc_count failed"),
        ("model.json", "load doc_count failed"),
        ("[" * 200000, "load doc_count failed"),
    ],
)
def test_failed_load_raises_first_failure_and_changes_nothing(tmp_path, text, message):
    model = trained()
    before = state(model, tmp_path)
    with pytest.raises(RuntimeError, match=f"^{message}$"):
        model.load(text)
    assert state(model, tmp_path) == before


@pytest.mark.parametrize(
    "text, error, message",
    [
        (document(doc_count="3000000000"), IndexError, "stol argument out of range"),
        (document(tokens='"a" : -2147483649'), IndexError, "stol argument out of range"),
        (document(b="1" + "0" * 400 + ".0"), IndexError, "stod argument out of range"),
        (document(doc_count="-"), ValueError, "invalid stol argument"),
        (document(b="1e,"), ValueError, "invalid stol argument"),
        (document(k1="-."), ValueError, "invalid stod argument"),
    ],
)
def test_number_errors_raise_and_change_nothing(tmp_path, text, error, message):
    model = trained()
    before = state(model, tmp_path)
    with pytest.raises(error, match=f"^{message}$"):
        model.load(text)
    assert state(model, tmp_path) == before


def test_load_of_empty_text_raises(tmp_path):
    model = trained()
    with pytest.raises(RuntimeError, match="^json data should not be empty$"):
        model.load("")
    assert state(model, tmp_path) == TRAINED_TEXT


def test_load_writes_parser_diagnostics(capfd):
    with pytest.raises(RuntimeError, match="^load doc_count failed$"):
        BM25().load("model.json")
    assert capfd.readouterr().err.endswith("ERROR: Parse: Unknown starting character 'm'\n")


@pytest.mark.parametrize("doc_count, average", [("0", "2.500000"), ("3", "0.000000")])
def test_loaded_untrained_model_refuses_encoding(doc_count, average):
    model = BM25()
    model.load(document(doc_count=doc_count, average=average))
    with pytest.raises(RuntimeError, match="^BM25 has not been initialized$"):
        model.encode_query(["a"])
    assert model.encode_query([]) == {}


def test_training_after_load_keeps_a_true_average(tmp_path):
    model = BM25()
    model.train(["a", "b", "c"])
    model.train(["d"])
    restored = BM25()
    restored.load(dumped(model, tmp_path))
    restored.train(["v", "w", "x", "y", "z"])
    # norm = ((dl / 3.0) * b + (1 - b)) * k1: a 3-token document gives norm = k1.
    assert restored.encode_document(["p", "q", "r"])["p"] == 1 / (1 + 1.2)


def test_counter_overflow_raises_and_leaves_model_unchanged(tmp_path):
    model = BM25()
    model.load(document(tokens='"a" : 2147483646', doc_count="5"))
    model.train(["a", "b"])  # a reaches 2147483647 exactly
    before = state(model, tmp_path)
    with pytest.raises(RuntimeError, match="^BM25 counter overflow$"):
        model.train(["b", "a"])
    assert state(model, tmp_path) == before
    full = BM25()
    full.load(document(doc_count="2147483647"))
    before = state(full, tmp_path)
    with pytest.raises(RuntimeError, match="^BM25 counter overflow$"):
        full.train([1])
    assert state(full, tmp_path) == before


def test_load_and_dump_take_str_or_bytes_only(tmp_path):
    model = BM25()
    model.load(TRAINED_TEXT.encode())
    model.dump(str(tmp_path / "m.json").encode())
    assert (tmp_path / "m.json").read_text() == TRAINED_TEXT
    for method in (model.load, model.dump):
        with pytest.raises(TypeError):
            method(1)
        with pytest.raises(TypeError):
            method()


@pytest.mark.parametrize("where", ["missing/model.json", "", "dir_target", "trailing/", "a\0b"])
def test_dump_to_a_path_that_cannot_be_opened(tmp_path, where):
    (tmp_path / "dir_target").mkdir()
    path = where if where in ("", "a\0b") else f"{tmp_path}/{where}"
    with pytest.raises(RuntimeError, match="^Failed to dump: Unable to open file$"):
        trained().dump(path)
    assert sorted(os.listdir(tmp_path)) == ["dir_target"]


def test_dump_replaces_a_file_and_keeps_its_mode(tmp_path):
    path = tmp_path / "m.json"
    path.write_text("old")
    path.chmod(0o640)
    trained().dump(str(path))
    assert path.read_text() == TRAINED_TEXT
    assert stat.S_IMODE(path.stat().st_mode) == 0o640


def test_dump_through_a_symbolic_link_writes_the_linked_file(tmp_path):
    target = tmp_path / "real.json"
    target.write_text("old")
    link = tmp_path / "link.json"
    link.symlink_to(target)
    trained().dump(str(link))
    assert link.is_symlink() and target.read_text() == TRAINED_TEXT


def test_dump_to_a_device_writes_through_it():
    trained().dump("/dev/null")
    with pytest.raises(RuntimeError, match="^Failed to dump: Unable to write file$"):
        trained().dump("/dev/full")


def test_failed_write_keeps_the_good_file_and_leaves_no_temporary(tmp_path):
    path = tmp_path / "m.json"
    path.write_text("good")
    # A file-size limit makes the writes fail, in a child process.
    script = textwrap.dedent(f"""
        import resource, signal
        from pylumotext import BM25
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        model = BM25()
        model.train([str(i) for i in range(2000)])
        resource.setrlimit(resource.RLIMIT_FSIZE, (1000, 1000))
        try:
            model.dump({str(path)!r})
        except RuntimeError as error:
            print(error)
    """)
    result = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, check=True)
    assert result.stdout == "Failed to dump: Unable to write file\n"
    assert path.read_text() == "good"
    assert os.listdir(tmp_path) == ["m.json"]
