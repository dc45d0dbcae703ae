"""Default Chinese data files of pylumotext.

`paths()` gives the five files that `pylumotext.Jieba` is built from, keyed by
the constructor's argument names:

    import pylumotext, pylumotext_data
    segmenter = pylumotext.Jieba(**pylumotext_data.paths())

The data is licensed under CC BY-SA 4.0 (stop words: MIT), separately from the
code; see ATTRIBUTION.txt in the data folder.
"""

from __future__ import annotations

import os

__all__ = ["DATA_DIR", "paths"]

#: Folder that holds the data files and their attribution and licence files.
DATA_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "data")

_FILE_NAMES = {
    "dict_path": "main_dict.txt",
    "hmm_path": "hmm_model.txt",
    "user_dict_path": "user_dict.txt",
    "idf_path": "idf.txt",
    "stop_word_path": "stop_words.txt",
}


def paths() -> dict[str, str]:
    """Absolute paths of the five default data files, keyed by argument name.

    Returns a new dict each call: dict_path, hmm_path, user_dict_path, idf_path
    and stop_word_path. The files are not opened here.
    """
    return {key: os.path.join(DATA_DIR, name) for key, name in _FILE_NAMES.items()}
