"""`Segmenter`: Chinese word segmentation for retrieval pipelines."""

from __future__ import annotations

import functools
import os
import tempfile
from collections.abc import Iterable, Sequence
from typing import Any, Literal, Union, overload

import pylumotext_data

from . import _native
from ._errors import check_data_files
from ._logging import emit_engine_line
from ._threads import thread_count

__all__ = ["Segmenter", "UserWord", "Mode"]

StrPath = Union[str, "os.PathLike[str]"]
#: A user word: the word alone, (word, frequency) or (word, frequency, tag);
#: a frequency of None gives the dictionary's median weight.
UserWord = Union[str, tuple[str, Union[int, None]], tuple[str, Union[int, None], str]]
#: The three cuts: `Segmenter.cut`, `Segmenter.cut_for_search`, `Segmenter.cut_all`.
Mode = Literal["default", "search", "full"]

_MODES = {"default": 0, "search": 1, "full": 2}
_FILE_ARGUMENTS = ("dict_path", "hmm_path", "idf_path", "stop_word_path")
# Characters that would change the line structure of a user dictionary file.
_FORBIDDEN_IN_FIELDS = (" ", "\n", "\r")


def _mode_number(mode: str) -> int:
    try:
        return _MODES[mode]
    except (KeyError, TypeError):
        raise ValueError(f"mode must be 'default', 'search' or 'full', not {mode!r}") from None


def _absolute(path: StrPath, argument: str) -> str:
    text = os.fspath(path)
    if not isinstance(text, str):
        raise TypeError(f"{argument} must be a str or os.PathLike[str], not {type(text).__name__}")
    if "\0" in text:
        raise ValueError(f"{argument} holds a NUL character: {text!r}")
    return os.path.abspath(text)


def _user_dictionaries(user_dict_path: StrPath | Sequence[StrPath] | None) -> tuple[str, ...] | None:
    """None for the default, else the absolute paths (empty for none)."""
    if user_dict_path is None:
        return None
    if isinstance(user_dict_path, (str, os.PathLike)):
        listed: Sequence[StrPath] = [] if os.fspath(user_dict_path) == "" else [user_dict_path]
    else:
        listed = list(user_dict_path)
    paths = tuple(_absolute(path, "user_dict_path") for path in listed)
    for path in paths:
        if "|" in path or ";" in path:
            raise ValueError(f"user dictionary paths cannot hold '|' or ';' (the list separators): {path!r}")
    return paths


def _user_word_line(entry: Any, index: int) -> str:
    """The user dictionary line of one user word, checked."""
    if isinstance(entry, str):
        word, frequency, tag = entry, None, None
    elif isinstance(entry, tuple) and len(entry) in (2, 3):
        word, frequency = entry[0], entry[1]
        tag = entry[2] if len(entry) == 3 else None
    else:
        raise TypeError(f"user_words[{index}] must be a str, (word, frequency) or (word, frequency, tag), "
                        f"not {entry!r}")
    if not isinstance(word, str) or not word or any(c in word for c in _FORBIDDEN_IN_FIELDS):
        raise ValueError(f"user_words[{index}]: the word must be a non-empty str without spaces or line "
                         f"breaks, not {word!r}")
    if frequency is not None and (isinstance(frequency, bool) or not isinstance(frequency, int) or frequency < 1):
        raise ValueError(f"user_words[{index}]: the frequency must be a positive int or None, not {frequency!r}")
    if tag is not None and (not isinstance(tag, str) or not tag or any(c in tag for c in _FORBIDDEN_IN_FIELDS)):
        raise ValueError(f"user_words[{index}]: the tag must be a non-empty str without spaces or line "
                         f"breaks, not {tag!r}")
    if frequency is None:
        return word if tag is None else f"{word} {tag}"
    # A line with a frequency always carries a tag; "x" is the tag the
    # tagger itself gives a Chinese word without one.
    return f"{word} {frequency} {tag or 'x'}"


class Segmenter:
    """A Chinese word segmenter: dictionary lattice with the most probable path,
    an HMM for the characters the dictionary leaves single, search and full
    modes, part-of-speech tags and TF-IDF keywords.

    Built from five data files; with no arguments, from the default data that
    ships with the package (`pylumotext_data`). Each file can be replaced by
    keyword: ``dict_path`` (main dictionary, "word frequency tag" per line),
    ``hmm_path`` (HMM model), ``user_dict_path`` (one path or a list of paths
    of user dictionaries, "word", "word tag" or "word frequency tag" per line;
    ``""`` or ``[]`` for none), ``idf_path`` ("word idf" per line) and
    ``stop_word_path`` (one stop word per line). ``user_words`` adds words
    after the user dictionaries: ``"区块链"``, ``("云原生", 100)`` or
    ``("云原生", 100, "n")``; a frequency of None gives the main dictionary's
    median weight, and a word with a frequency but no tag is tagged "x".

    A missing or unreadable file raises ``FileNotFoundError``,
    ``PermissionError`` or ``IsADirectoryError`` naming it, before anything is
    built; a malformed main dictionary or HMM model raises `DataFileError` (a
    ``ValueError``) naming the file and line. The engine's diagnostic lines
    (for example skipped lines of the IDF table) go to the `logging` logger
    "lumotext".

    A segmenter is read-only once built: any number of threads may use one at
    once, and every method releases the interpreter lock while it segments a
    text stored in 1 KB or more (about 500 Chinese characters; a shorter one is
    cut sooner than the lock changes hands). It pickles by what it was built
    from (absolute paths, user words, and the default files by reference), so
    it crosses process boundaries; the other side loads the same files.
    ``copy.copy`` and ``copy.deepcopy`` share the built engine.
    """

    __slots__ = ("_engine", "_arguments")

    def __init__(
        self,
        *,
        dict_path: StrPath | None = None,
        hmm_path: StrPath | None = None,
        user_dict_path: StrPath | Sequence[StrPath] | None = None,
        idf_path: StrPath | None = None,
        stop_word_path: StrPath | None = None,
        user_words: Iterable[UserWord] = (),
    ) -> None:
        given = {"dict_path": dict_path, "hmm_path": hmm_path, "idf_path": idf_path,
                 "stop_word_path": stop_word_path}
        arguments: dict[str, Any] = {
            name: None if value is None else _absolute(value, name) for name, value in given.items()
        }
        arguments["user_dict_path"] = _user_dictionaries(user_dict_path)
        if isinstance(user_words, (str, bytes)):
            raise TypeError("user_words must be an iterable of words, not a single str")
        words = tuple(user_words)
        lines = [_user_word_line(entry, i) for i, entry in enumerate(words)]
        arguments["user_words"] = words
        self._arguments = arguments
        self._engine = self._build(lines)

    def _build(self, user_word_lines: list[str]) -> _native.Engine:
        defaults = pylumotext_data.paths()
        arguments = self._arguments
        files = {name: arguments[name] or defaults[name] for name in _FILE_ARGUMENTS}
        user_paths = arguments["user_dict_path"]
        user_list = [defaults["user_dict_path"]] if user_paths is None else list(user_paths)
        word_file = None
        try:
            if user_word_lines:
                with tempfile.NamedTemporaryFile("w", encoding="utf-8", suffix=".txt", delete=False) as handle:
                    word_file = handle.name
                    handle.write("\n".join(user_word_lines) + "\n")
                if "|" in word_file or ";" in word_file:
                    raise ValueError(f"the temporary directory's path holds '|' or ';': {word_file!r}")
                user_list.append(word_file)
            joined = ";".join(user_list)
            check_data_files(files["dict_path"], files["hmm_path"], joined, files["idf_path"],
                             files["stop_word_path"])
            return _native.Engine(files["dict_path"], files["hmm_path"], joined, files["idf_path"],
                                  files["stop_word_path"], emit_engine_line)
        finally:
            if word_file is not None:
                os.unlink(word_file)

    def cut(self, text: str) -> list[str]:
        """The words of ``text`` in order, joining back to ``text``.

        The same words as ``pylumotext.Jieba.cut``: the dictionary words on the
        path of the largest summed log weight, with runs of single characters
        re-cut by the HMM (which also assembles ASCII words and numbers). Space,
        tab, line feed, "，" and "。" are words of their own."""
        return self._engine.cut(text, 0)

    def cut_for_search(self, text: str) -> list[str]:
        """The words of `cut`, each word of more than two characters preceded by
        the two-character (and, past three characters, the three-character)
        dictionary words inside it; the same as
        ``pylumotext.Jieba.cut_for_search``. Does not join back to ``text``."""
        return self._engine.cut(text, 1)

    def cut_all(self, text: str) -> list[str]:
        """Every dictionary word of two or more characters that occurs in
        ``text``, overlapping ones included, by start and then end position,
        and every character that no such word covers."""
        return self._engine.cut(text, 2)

    def tag(self, text: str) -> list[tuple[str, str]]:
        """``(word, tag)`` for every word of `cut`: the word's part-of-speech tag
        in the dictionary, else "m" for an ASCII number, "eng" for other ASCII
        and "x" for the rest (judged on the first half of the word)."""
        return self._engine.tag(text)

    def tokenize(self, text: str, mode: Mode = "default") -> list[tuple[str, int, int]]:
        """``(word, start, end)`` for every word of the cut of ``mode``
        ("default", "search" or "full"), with ``text[start:end] == word``:
        offsets count ``str`` characters (code points), not bytes."""
        return self._engine.tokenize(text, _mode_number(mode))

    @overload
    def extract_keywords(self, text: str, top_k: int | None = 20,
                         with_weights: Literal[False] = False) -> list[str]: ...
    @overload
    def extract_keywords(self, text: str, top_k: int | None = 20, *,
                         with_weights: Literal[True]) -> list[tuple[str, float]]: ...
    @overload
    def extract_keywords(self, text: str, top_k: int | None, with_weights: Literal[True]) -> list[tuple[str, float]]: ...
    def extract_keywords(self, text: str, top_k: int | None = 20,
                         with_weights: bool = False) -> list[str] | list[tuple[str, float]]:
        """The ``top_k`` keywords of ``text`` by TF-IDF, best first (all of them
        when ``top_k`` is None); ``(word, weight)`` pairs when
        ``with_weights``.

        Candidates are the words of `cut` of at least two characters that are
        not in the stop-word list. With ``n`` the number of candidate
        occurrences in the text and ``c`` the occurrences of a word among them,
        the word's weight is ``(c / n) * idf``, where ``idf`` is the word's
        value in the IDF table or, for a word the table lacks, the table's
        average (the sum of its values over its number of lines). Equal weights
        are ordered by the word (code point order), so the result is
        deterministic."""
        if top_k is None:
            limit = -1
        elif isinstance(top_k, bool) or not isinstance(top_k, int):
            raise TypeError(f"top_k must be an int or None, not {type(top_k).__name__}")
        elif top_k < 0:
            raise ValueError(f"top_k must be at least 0, not {top_k}")
        else:
            limit = top_k
        keywords: list[tuple[str, float]] = self._engine.extract_keywords(text, limit)
        if with_weights:
            return keywords
        return [word for word, _ in keywords]

    def cut_batch(self, texts: Iterable[str], mode: Mode = "default",
                  threads: int | None = None) -> list[list[str]]:
        """The words of every text, in input order: ``[cut(t) for t in texts]``
        for mode "default" (or `cut_for_search`, `cut_all` for "search",
        "full"), computed by ``threads`` native threads (default: the CPUs this
        process may run on) with the interpreter lock released once for the
        whole batch.

        Ctrl-C (or any signal handler that raises) stops the batch within a
        fraction of a second and propagates. An item that is not a ``str``
        raises ``TypeError`` and one that cannot be encoded (a lone surrogate)
        ``ValueError``, both naming its index as ``texts[i]``; nothing is
        segmented then."""
        return self._engine.cut_batch(texts, _mode_number(mode), thread_count(threads))

    def __repr__(self) -> str:
        parts = []
        for name in ("dict_path", "hmm_path", "user_dict_path", "idf_path", "stop_word_path"):
            value = self._arguments[name]
            if value is not None:
                parts.append(f"{name}={list(value) if isinstance(value, tuple) else value!r}")
        if self._arguments["user_words"]:
            parts.append(f"user_words=<{len(self._arguments['user_words'])} words>")
        return f"{type(self).__name__}({', '.join(parts)})"

    def __reduce__(self) -> tuple[Any, tuple[dict[str, Any]]]:
        return (_restore, (dict(self._arguments),))

    def __copy__(self) -> Segmenter:
        twin = object.__new__(type(self))
        twin._arguments = dict(self._arguments)
        twin._engine = self._engine
        return twin

    def __deepcopy__(self, memo: dict[int, Any]) -> Segmenter:
        return self.__copy__()


@functools.lru_cache(maxsize=None)
def _default_segmenter() -> Segmenter:
    """One `Segmenter` of the default data, built on first use and shared by
    the calls that take a segmenter but were given none."""
    return Segmenter()


def _restore(arguments: dict[str, Any]) -> Segmenter:
    """Rebuilds a pickled `Segmenter` from what it was built from."""
    user_dict_path = arguments["user_dict_path"]
    return Segmenter(
        dict_path=arguments["dict_path"], hmm_path=arguments["hmm_path"],
        user_dict_path=list(user_dict_path) if user_dict_path is not None else None,
        idf_path=arguments["idf_path"], stop_word_path=arguments["stop_word_path"],
        user_words=arguments["user_words"],
    )
