"""Small hand-made data files for the Jieba tests."""

from __future__ import annotations

import pathlib

MAIN_DICT = """\
中国 10 ns
人民 10 n
中国人 10 n
中国人民 1000 nt
北京 100 ns
大学 100 n
北京大学 1000 nt
我 500 r
爱 300 v
"""

# Start, transitions (rows B, E, M, S) and emissions (B, E, M, S). Every rune
# the tests leave to the HMM is emitted by S alone, so it stays a word alone.
HMM_MODEL = """\
# start
-1 -3.14e+100 -3.14e+100 -1
# transitions
-3.14e+100 -1 -1 -3.14e+100
-1 -3.14e+100 -3.14e+100 -1
-3.14e+100 -1 -1 -3.14e+100
-1 -3.14e+100 -3.14e+100 -1
# emissions
嗯:-1
嗯:-1
嗯:-1
我:-1,爱:-1,丙:-1,丁:-1,甲:-1,乙:-1,民:-1
"""

USER_DICT = "甲乙 n\n"
IDF = "中国 2.5\n人民 3\n"
STOP_WORDS = "的\n了\n"


def write_data(directory: pathlib.Path) -> dict[str, str]:
    """Writes the five files into directory; returns the constructor's keyword arguments."""
    files = {
        "dict_path": ("main.txt", MAIN_DICT),
        "hmm_path": ("hmm.txt", HMM_MODEL),
        "user_dict_path": ("user.txt", USER_DICT),
        "idf_path": ("idf.txt", IDF),
        "stop_word_path": ("stop.txt", STOP_WORDS),
    }
    paths = {}
    for key, (name, content) in files.items():
        path = directory / name
        path.write_bytes(content.encode("utf-8"))
        paths[key] = str(path)
    return paths
