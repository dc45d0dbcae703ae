"""Jieba under hostile input: sentences with NUL bytes, lone surrogates, a
50 MB sentence, long separator runs; data files with enormous lines, NUL
bytes, no final line feed and a million fields; and building and dropping an
engine a thousand times. Each either works as intended or raises a clear
Python exception."""

import os
import re
import threading

import pytest

import pylumotext

DICTIONARY = "中国 100 ns\n中国人 50 n\n国人 10 n\n人民 80 n\n中 20 f\n国 20 n\n人 30 n\n民 5 n\n北京 60 ns\n大学 40 n\n"
HMM_MODEL = (
    "# start B E M S\n-0.26 -3.14e+100 -3.14e+100 -1.46\n"
    "-3.14e+100 -0.51 -0.92 -3.14e+100\n-0.59 -3.14e+100 -3.14e+100 -0.81\n"
    "-3.14e+100 -0.33 -1.26 -3.14e+100\n-0.72 -3.14e+100 -3.14e+100 -0.67\n"
    "中:-2.1,北:-3.0\n国:-2.2,京:-3.1\n华:-4.0\n的:-1.5,了:-2.0\n"
)
FILES = {"dict_path": DICTIONARY, "hmm_path": HMM_MODEL, "user_dict_path": "生\n", "idf_path": "中国 5.5\n",
         "stop_word_path": "的\n"}


def write_files(directory, **replaced):
    paths = {}
    for name, content in {**FILES, **replaced}.items():
        path = directory / (name + ".txt")
        path.write_bytes(content if isinstance(content, bytes) else content.encode())
        paths[name] = str(path)
    return paths


@pytest.fixture(scope="module")
def engine(tmp_path_factory):
    return pylumotext.Jieba(**write_files(tmp_path_factory.mktemp("data")))


@pytest.mark.parametrize("sentence", ["中国\x00人民", "\x00", "\x00\x00 \x00", "a\x00b 1\x002"])
def test_nul_bytes_are_ordinary_runes(engine, sentence):
    for words in (engine.cut(sentence), engine.cut_for_search(sentence)):
        assert "\x00" in "".join(words)
    assert "".join(engine.cut(sentence)) == sentence


# At every storage width, and past the first units of a long sentence.
@pytest.mark.parametrize("sentence", ["\ud800", "中国\udfff人民", "a\udcff", "\udbff\udc00", "😀\ud800",
                                      "中国\ud7ff\ue000" * 50 + "\udfff"])
@pytest.mark.parametrize("method", ["cut", "cut_for_search"])
def test_lone_surrogates_raise_type_error_as_in_every_string_conversion(engine, method, sentence):
    with pytest.raises(TypeError, match="incompatible function arguments"):
        getattr(engine, method)(sentence)
    assert engine.cut("中国人民") == ["中国", "人民"]  # the engine is still usable
    boundary = "中国\ud7ff\ue000" * 50  # the code points next to the surrogates are none
    assert "".join(engine.cut(boundary)) == boundary


@pytest.mark.parametrize("method", ["cut", "cut_for_search"])
def test_bytes_are_read_as_raw_bytes(engine, method):
    assert getattr(engine, method)("中国人民".encode()) == ["中国", "人民"]


@pytest.mark.parametrize("sentence", [b"\xff\xfe", b"\x80", b"\xe4\xb8", "中国".encode() + b"\xf8"])
@pytest.mark.parametrize("method", ["cut", "cut_for_search"])
def test_bytes_that_do_not_decode_give_no_words_and_one_error_line(engine, method, sentence, capfd):
    assert getattr(engine, method)(sentence) == []
    err = capfd.readouterr().err
    assert err.count("\n") == 1
    assert err.endswith(" ERROR decode failed. \n")


# The decoder is lenient (overlong forms, surrogates, stray continuation
# bytes), so these give words that are not UTF-8: decoding them raises. A run
# of stray continuation bytes decodes to more runes than lead bytes.
@pytest.mark.parametrize("sentence", [b"\xc0\x80", b"\xed\xa0\x80", b"a\x80b", b"\xf4\x90\x80\x80",
                                      b"\xb9" * 10, "中国".encode() + b"\x80" * 5000 + b" a"])
@pytest.mark.parametrize("method", ["cut", "cut_for_search"])
def test_bytes_that_decode_only_leniently_raise_unicode_decode_error(engine, method, sentence):
    with pytest.raises(UnicodeDecodeError):
        getattr(engine, method)(sentence)
    assert engine.cut("中国人民") == ["中国", "人民"]


@pytest.mark.parametrize("argument", [None, 3, 2.5, ["中国"], memoryview(b"ab")])
def test_arguments_that_are_neither_str_nor_bytes_raise_type_error(engine, argument):
    with pytest.raises(TypeError):
        engine.cut(argument)


def test_strange_code_points_come_back_unchanged(engine):
    sentence = "\U0010ffff\ufeff\u200b中国\ue000\U0001f600"
    assert "".join(engine.cut(sentence)) == sentence
    assert all(word in sentence for word in engine.cut_for_search(sentence))


def test_a_sentence_of_fifty_megabytes(engine):
    unit = "中国人民北京大学abc12，"
    unit_words = engine.cut(unit)
    repeats = 50 * 2**20 // len(unit.encode())
    words = engine.cut(unit * repeats)
    assert len(words) == len(unit_words) * repeats
    assert words[: len(unit_words)] == unit_words
    assert words[-len(unit_words):] == unit_words
    assert sum(map(len, words)) == len(unit) * repeats


def test_a_two_megabyte_word_without_separators(engine):
    sentence = "x" * (2 * 2**20)
    assert engine.cut(sentence) == [sentence]


@pytest.mark.parametrize("separator", [" ", "\t", "\n", "，", "。"])
@pytest.mark.parametrize("method", ["cut", "cut_for_search"])
def test_a_hundred_thousand_separators_in_a_row(engine, method, separator):
    words = getattr(engine, method)("中国" + separator * 10**5 + "人民")
    assert words == ["中国"] + [separator] * 10**5 + ["人民"]


def test_other_threads_run_while_a_long_sentence_is_cut(engine):
    ticks = []
    stop = threading.Event()

    def tick():
        while not stop.is_set():
            ticks.append(1)
            stop.wait(0.001)

    thread = threading.Thread(target=tick)
    thread.start()
    try:
        engine.cut("中国人民" * 2_000_000)
    finally:
        stop.set()
        thread.join()
    assert len(ticks) > 5


def test_a_main_dictionary_line_of_ten_megabytes(tmp_path):
    word = "国" * (10 * 2**20 // 3)
    engine = pylumotext.Jieba(**write_files(tmp_path, dict_path=DICTIONARY + word + " 3 n\n"))
    assert engine.cut("中国人民") == ["中国", "人民"]
    assert "".join(engine.cut(word[:2000])) == word[:2000]


def test_a_main_dictionary_without_final_line_feed_keeps_its_last_line(tmp_path):
    engine = pylumotext.Jieba(**write_files(tmp_path, dict_path=DICTIONARY + "华民 90 n"))
    assert engine.cut("华民") == ["华民"]


def test_nul_bytes_inside_dictionary_words(tmp_path):
    engine = pylumotext.Jieba(**write_files(tmp_path, dict_path=DICTIONARY + "中\x00国 900 n\n",
                                            user_dict_path="人\x00民\n"))
    assert engine.cut("中\x00国人\x00民") == ["中\x00国", "人\x00民"]


@pytest.mark.parametrize("name, content, message", [
    ("dict_path", DICTIONARY + " " * 10**6 + "\n", "split result illegal"),
    ("dict_path", DICTIONARY + "中国 1 n" + " x" * 10**6 + "\n", "split result illegal"),
    ("dict_path", b"", "static_node_infos_"),
    ("dict_path", DICTIONARY + "\n", "split result illegal"),
    ("hmm_path", HMM_MODEL.replace("-0.26 -3.14e+100", "-0.26" + " 1" * 10**6), ""),
    ("hmm_path", "# only a comment\n" * 1000, ""),
    ("dict_path", b"\xff\xfe\x80 bad\n", "split result illegal, line:\\xff\\xfe\\x80 bad"),
], ids=["million_spaces", "million_fields", "empty", "empty_line", "hmm_million_fields", "hmm_no_values",
        "bytes_not_utf8"])
def test_malformed_files_raise_runtime_error(tmp_path, name, content, message, capfdbinary):
    with pytest.raises(RuntimeError, match="^exp: \\[") as info:
        pylumotext.Jieba(**write_files(tmp_path, **{name: content}))
    assert message in str(info.value)
    # The message is the FATAL line's, bytes that are not UTF-8 escaped.
    err = capfdbinary.readouterr().err.decode("utf-8", "backslashreplace")
    assert err.endswith(" FATAL " + str(info.value) + "\n")


@pytest.mark.parametrize("name, content", [
    ("user_dict_path", "人民" + " x" * 10**6 + "\n" + "\x00" * 10**6 + "\n"),
    ("user_dict_path", "华民 n"),
    ("idf_path", "中国" + " 1" * 10**6 + "\n\n" + "x" * 10**7),
    ("idf_path", b"\x00\xff 3\n\xff\xfe"),
    ("stop_word_path", "的" * 10**6 + "\n\x00\n" + "\n" * 10**5),
    ("stop_word_path", b"\xff" * 10**6),
], ids=["user_million_fields", "user_no_final_line_feed", "idf_million_fields", "idf_bad_bytes",
        "stop_enormous_lines", "stop_bad_bytes"])
def test_odd_but_loadable_files_build_a_working_engine(tmp_path, name, content, capfd):
    engine = pylumotext.Jieba(**write_files(tmp_path, **{name: content}))
    assert engine.cut("中国人民") == ["中国", "人民"]
    capfd.readouterr()


@pytest.mark.parametrize("name", sorted(FILES))
def test_a_directory_as_data_file_cannot_be_opened(tmp_path, name, capfd):
    paths = write_files(tmp_path)
    paths[name] = str(tmp_path)
    with pytest.raises(RuntimeError, match=r"^exp: \[\w+\.is_open\(\)\] false\. open " + re.escape(str(tmp_path)) + " failed"):
        pylumotext.Jieba(**paths)
    assert " FATAL exp: [" in capfd.readouterr().err


@pytest.mark.parametrize("name", sorted(FILES))
def test_a_path_with_a_nul_byte_cannot_be_opened(tmp_path, name, capfd):
    # The platform would cut the path at the NUL and open another file.
    paths = write_files(tmp_path)
    paths[name] += "\x00.ignored"
    with pytest.raises(RuntimeError, match=r"^exp: \[\w+\.is_open\(\)\] false\. open "):
        pylumotext.Jieba(**paths)
    assert " FATAL exp: [" in capfd.readouterr().err


def resident_kib():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") // 1024


def test_building_and_dropping_an_engine_a_thousand_times_keeps_memory_flat(tmp_path):
    paths = write_files(tmp_path, dict_path=DICTIONARY * 50)  # repeated words: a bigger table to leak
    for _ in range(100):  # reach the steady state of the allocator first
        pylumotext.Jieba(**paths).cut("中国人民")
    start = resident_kib()
    for _ in range(1000):
        engine = pylumotext.Jieba(**paths)
        engine.cut("中国人民北京大学")
        del engine
    assert resident_kib() - start < 4096


def test_failed_builds_a_thousand_times_keep_memory_flat(tmp_path, capfd):
    paths = write_files(tmp_path, hmm_path="broken\n")
    for _ in range(100):
        with pytest.raises(RuntimeError):
            pylumotext.Jieba(**paths)
    start = resident_kib()
    for _ in range(1000):
        with pytest.raises(RuntimeError):
            pylumotext.Jieba(**paths)
    assert resident_kib() - start < 4096
    capfd.readouterr()
