"""The shipped default data: its companion module, file formats, licences and build."""

from __future__ import annotations

import math
import os
import subprocess
import sys
from pathlib import Path

import pytest

import pylumotext_data

REPO = Path(__file__).resolve().parents[2]
SOURCES = REPO.parent / "shared" / "data-sources"
DATA_KEYS = ["dict_path", "hmm_path", "user_dict_path", "idf_path", "stop_word_path"]
IMPOSSIBLE = -3.14e100


def lines_of(key: str) -> list[str]:
    data = Path(pylumotext_data.paths()[key]).read_bytes()
    assert data.endswith(b"\n") and b"\r" not in data
    return data.decode("utf-8").split("\n")[:-1]


def main_frequencies() -> dict[str, tuple[str, str]]:
    return {word: (frequency, tag)
            for word, frequency, tag in (line.split(" ") for line in lines_of("dict_path"))}


def test_paths_are_keyed_by_the_constructor_arguments_and_exist():
    paths = pylumotext_data.paths()
    assert list(paths) == DATA_KEYS
    for path in paths.values():
        assert os.path.isabs(path) and os.path.isfile(path), path
    assert paths is not pylumotext_data.paths()


def test_paths_work_from_another_directory(tmp_path):
    script = "import json, pylumotext_data; print(json.dumps(pylumotext_data.paths()))"
    result = subprocess.run([sys.executable, "-c", script], cwd=tmp_path, check=True,
                            capture_output=True, text=True)
    assert result.stdout.strip().startswith('{"dict_path": "/')
    assert result.stderr == ""


def test_main_dictionary_lines_have_word_integer_frequency_and_tag():
    words = []
    for line in lines_of("dict_path"):
        fields = line.split(" ")
        assert len(fields) == 3 and all(fields), line
        word, frequency, tag = fields
        assert frequency.isdigit() and int(frequency) > 0, line
        assert tag.isascii() and tag.isalpha(), line
        assert not any(c.isspace() for c in word), line
        words.append(word)
    assert words == sorted(set(words))
    assert 50_000 < len(words) < 200_000


def test_user_dictionary_repeats_the_main_frequency_of_single_characters():
    main = main_frequencies()
    user = [line.split(" ") for line in lines_of("user_dict_path")]
    assert len(user) > 100
    for fields in user:
        assert len(fields) == 3
        word, frequency, tag = fields
        assert len(word) == 1 and ord(word) >= 0x80
        assert main[word] == (frequency, tag)
    for char in "的是在了和，、“”（）":
        assert [char] in ([f[0]] for f in user), char


def significant_hmm_lines() -> list[str]:
    return [line for line in (raw.strip() for raw in lines_of("hmm_path"))
            if line and not line.startswith("#")]


ALLOWED = {"start": "BS", "B": "EM", "E": "BS", "M": "EM", "S": "BS"}


@pytest.mark.parametrize("row, name", list(enumerate(["start", "B", "E", "M", "S"])))
def test_hmm_start_and_transition_rows_are_distributions(row, name):
    fields = significant_hmm_lines()[row].split(" ")
    assert len(fields) == 4
    values = dict(zip("BEMS", map(float, fields)))
    for state, value in values.items():
        if state in ALLOWED[name]:
            assert value < 0
        else:
            assert value == IMPOSSIBLE
    assert math.fsum(math.exp(values[s]) for s in ALLOWED[name]) == pytest.approx(1, abs=1e-5)


@pytest.mark.parametrize("state", range(4), ids=list("BEMS"))
def test_hmm_emission_lines_hold_one_code_point_per_key(state):
    lines = significant_hmm_lines()
    assert len(lines) == 9
    items = lines[5 + state].split(",")
    keys = []
    for item in items:
        key, value = item.split(":")
        assert len(key) == 1 and ord(key) >= 0x80, item
        keys.append(key)
        assert float(value) < 0
    assert len(keys) == len(set(keys)) > 3000
    assert math.fsum(math.exp(float(i.split(":")[1])) for i in items) == pytest.approx(1, abs=1e-3)


def test_idf_lines_are_word_and_positive_value():
    rows = [line.split(" ") for line in lines_of("idf_path")]
    assert len(rows) > 10_000
    assert all(len(r) == 2 and r[0] and float(r[1]) >= 0 for r in rows)
    values = dict(rows)
    assert float(values["的"]) < float(values["澳大利亚"])


def test_stop_words_are_one_word_per_line():
    words = lines_of("stop_word_path")
    assert len(words) == 794
    assert all(w and w == w.strip() for w in words)
    assert "的" in words and words == sorted(words)


@pytest.mark.parametrize("name, needles", [
    ("ATTRIBUTION.txt", ["UNER_Chinese-GSDSIMP", "UD_Chinese-GSDSimp", "CC-CEDICT",
                         "Paul Andrew Denisowski", "tesseract-ocr-chi-sim", "stopwords-zh",
                         "CC BY-SA 4.0"]),
    ("LICENSE-CC-BY-SA-4.0.txt", ["Attribution-ShareAlike 4.0 International",
                                  "creativecommons.org/licenses/by-sa/4.0/legalcode"]),
    ("LICENSE-Apache-2.0.txt", ["Apache License", "Version 2.0, January 2004"]),
    ("LICENSE-MIT-stopwords.txt", ["The MIT License", "Copyright (c) 2016 Gene Diaz"]),
])
def test_licence_files_carry_their_notices(name, needles):
    text = (Path(pylumotext_data.DATA_DIR) / name).read_text(encoding="utf-8")
    for needle in needles:
        assert needle in text, needle


@pytest.mark.skipif(not SOURCES.is_dir(), reason=f"pinned sources not found at {SOURCES}")
def test_build_script_reproduces_the_shipped_files(tmp_path):
    subprocess.run([sys.executable, str(REPO / "scripts" / "build_data.py"),
                    "--sources", str(SOURCES), "--out", str(tmp_path)],
                   check=True, capture_output=True)
    names = sorted(p.name for p in tmp_path.iterdir())
    assert len(names) == 9
    for shipped in (REPO / "python" / "pylumotext_data" / "data", Path(pylumotext_data.DATA_DIR)):
        assert sorted(p.name for p in shipped.iterdir()) == names
        for name in names:
            assert (tmp_path / name).read_bytes() == (shipped / name).read_bytes(), name
