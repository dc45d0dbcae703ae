"""Errors a user can act on, the engine's log lines through logging, pickling
and copying of lumotext.Segmenter and pylumotext.Jieba."""

from __future__ import annotations

import copy
import errno
import logging
import multiprocessing
import os
import pathlib
import pickle
import shutil
import tempfile
from concurrent.futures import ProcessPoolExecutor

import pytest

import lumotext
import pylumotext
from jieba_data import write_data

TEXT = "我爱北京大学，中国人民甲乙丙丁"


@pytest.fixture()
def paths(tmp_path: pathlib.Path) -> dict[str, str]:
    return write_data(tmp_path)


@pytest.mark.parametrize("missing", ["dict_path", "hmm_path", "user_dict_path", "idf_path", "stop_word_path"])
def test_missing_file_is_named_before_anything_is_built(paths: dict[str, str], missing: str,
                                                        caplog: pytest.LogCaptureFixture) -> None:
    # The main dictionary is malformed too: the missing file is reported first.
    pathlib.Path(paths["dict_path"]).write_text("bad line here too\n", encoding="utf-8")
    gone = paths[missing] + ".gone"
    with caplog.at_level(logging.DEBUG, logger="lumotext"), pytest.raises(FileNotFoundError) as raised:
        lumotext.Segmenter(**{**paths, missing: gone})
    assert (raised.value.errno, raised.value.filename) == (errno.ENOENT, gone)
    assert caplog.records == []


def test_directory_is_named(paths: dict[str, str], tmp_path: pathlib.Path) -> None:
    with pytest.raises(IsADirectoryError) as raised:
        lumotext.Segmenter(**{**paths, "idf_path": str(tmp_path)})
    assert raised.value.filename == str(tmp_path)


def test_unreadable_file_raises_permission_error() -> None:
    directory = pathlib.Path(tempfile.mkdtemp())
    try:
        directory.chmod(0o755)
        paths = write_data(directory)
        locked = pathlib.Path(paths["stop_word_path"])
        locked.chmod(0)
        # Root reads any file: check as an ordinary user in a forked child then.
        child = os.fork()
        if child == 0:
            status = 1
            try:
                if os.geteuid() == 0:
                    os.setuid(65534)
                lumotext.Segmenter(**paths)
            except PermissionError as error:
                status = 0 if (error.errno, error.filename) == (errno.EACCES, str(locked)) else 2
            finally:
                os._exit(status)
        assert os.waitstatus_to_exitcode(os.waitpid(child, 0)[1]) == 0
    finally:
        shutil.rmtree(directory)


@pytest.mark.parametrize(("file", "content", "line", "reason"), [
    ("dict_path", "中国 10 ns\n北京  100 ns\n", 2, 'expected 3 fields "word frequency tag" separated by single '
                                                 "spaces, found 4"),
    ("dict_path", "", None, "the main dictionary holds no word"),
    ("hmm_path", "# start\n-1 -2 -3\n", 2, "expected 4 numbers separated by single spaces (start probabilities), "
                                           "found 3 fields"),
    ("hmm_path", "1 2 3 4\n" * 5 + "\n# B\n我:-1,爱\n", 8, 'malformed item "爱" in the row of emissions of B '
                                                         '(expected one character, ":" and a number)'),
    ("hmm_path", "1 2 3 4\n" * 5 + "我:-1\n", None, "the file ends before the row of emissions of E"),
])
def test_malformed_file_names_file_and_line(paths: dict[str, str], file: str, content: str, line: int | None,
                                            reason: str) -> None:
    pathlib.Path(paths[file]).write_text(content, encoding="utf-8")
    with pytest.raises(ValueError) as raised:
        lumotext.Segmenter(**paths)
    assert isinstance(raised.value, lumotext.DataFileError)
    assert (raised.value.path, raised.value.line, raised.value.reason) == (paths[file], line, reason)
    where = f"{paths[file]}, line {line}" if line else paths[file]
    assert str(raised.value) == f"{where}: {reason}"


def test_log_lines_go_to_logging_not_stderr(paths: dict[str, str], caplog: pytest.LogCaptureFixture,
                                            capfd: pytest.CaptureFixture[str]) -> None:
    pathlib.Path(paths["idf_path"]).write_text("中国 2.5\n\n人民 3 x\n", encoding="utf-8")
    with caplog.at_level(logging.DEBUG, logger="lumotext"):
        lumotext.Segmenter(**paths)
    assert [(r.name, r.levelno, r.getMessage()) for r in caplog.records] == [
        ("lumotext", logging.ERROR, "lineno: 1 empty. skipped."),
        ("lumotext", logging.ERROR, "line: 人民 3 x, lineno: 2 empty. skipped."),
    ]
    assert caplog.records[0].engine_source.startswith("csrc/tokenizer/jieba/keyword_extractor.cc:")
    assert capfd.readouterr().err == ""
    # The low-level module keeps writing the same lines to standard error.
    pylumotext.Jieba(**paths)
    assert capfd.readouterr().err.count(" ERROR lineno: 1 empty. skipped.\n") == 1


def segment_in_child(segmenter: lumotext.Segmenter, jieba: pylumotext.Jieba) -> tuple[list[str], list[str], int]:
    return segmenter.cut(TEXT), jieba.cut_for_search(TEXT), os.getpid()


def test_pickled_segmenters_cross_a_spawned_process(paths: dict[str, str]) -> None:
    segmenter = lumotext.Segmenter(**paths, user_words=["丙丁"])
    jieba = pylumotext.Jieba(**paths)
    with ProcessPoolExecutor(max_workers=1, mp_context=multiprocessing.get_context("spawn")) as pool:
        words, search_words, child = pool.submit(segment_in_child, segmenter, jieba).result(timeout=120)
    assert child != os.getpid()
    assert (words, search_words) == (segmenter.cut(TEXT), jieba.cut_for_search(TEXT))
    assert words[-1] == "丙丁"


def test_pickle_state_is_what_the_segmenter_was_built_from(paths: dict[str, str]) -> None:
    jieba = pylumotext.Jieba(**paths)
    assert jieba.__getstate__() == tuple(paths[name] for name in  # type: ignore[attr-defined]
                                         ("dict_path", "hmm_path", "user_dict_path", "idf_path", "stop_word_path"))
    default = pickle.dumps(lumotext.Segmenter())
    assert b"pylumotext_data" not in default and len(default) < 400  # the default data by reference
    restored = pickle.loads(pickle.dumps(lumotext.Segmenter(**paths, user_words=[("丙丁", 3, "n")])))
    assert repr(restored) == repr(lumotext.Segmenter(**paths, user_words=[("丙丁", 3, "n")]))


@pytest.mark.parametrize("duplicate", [copy.copy, copy.deepcopy, lambda x: pickle.loads(pickle.dumps(x))])
def test_copies_segment_alike(paths: dict[str, str], duplicate) -> None:  # type: ignore[no-untyped-def]
    for original in (lumotext.Segmenter(**paths), pylumotext.Jieba(**paths)):
        twin = duplicate(original)
        assert twin is not original and type(twin) is type(original)
        assert (twin.cut(TEXT), twin.cut_for_search(TEXT)) == (original.cut(TEXT), original.cut_for_search(TEXT))
