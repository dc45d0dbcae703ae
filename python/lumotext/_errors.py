"""Errors a user can act on, raised before any engine is built."""

from __future__ import annotations

import os

from . import _native

__all__ = ["DataFileError", "check_data_files"]


class DataFileError(ValueError):
    """A data file whose content would stop the engine from being built.

    A ``ValueError`` with the file's path in ``path`` and, where the fault sits
    on one line, its 1-based number in ``line`` (else None)."""

    def __init__(self, path: str, line: int | None, reason: str) -> None:
        where = f"{path}, line {line}" if line else path
        super().__init__(f"{where}: {reason}")
        self.path = path
        self.line = line
        self.reason = reason

    def __reduce__(self) -> tuple[type[DataFileError], tuple[str, int | None, str]]:
        return (type(self), (self.path, self.line, self.reason))


def check_data_files(dict_path: str, hmm_path: str, user_dict_path: str, idf_path: str,
                     stop_word_path: str) -> None:
    """Raises the error a user can act on for the first bad file, else returns.

    A file that cannot be opened raises the ``OSError`` subclass of its errno
    (``FileNotFoundError``, ``PermissionError``, ``IsADirectoryError``) naming
    the file; a malformed main dictionary or HMM model raises
    `DataFileError`. Files are opened in the engine's load order, so the first
    file that the engine itself would have failed on is the one named."""
    problem = _native.check_data_files(dict_path, hmm_path, user_dict_path, idf_path, stop_word_path)
    if problem is None:
        return
    kind, path, error_number, line, reason = problem
    if kind == "open":
        raise OSError(error_number, os.strerror(error_number), path)
    raise DataFileError(path, line or None, reason)
