"""Rewrites golden_default_data.json with what the installed package gives
for its sentences. Run after a deliberate change of the default data or of the
segmenters, then review the diff:

    .venv/bin/python tests/python/regenerate_golden.py
"""

from __future__ import annotations

import json
from pathlib import Path

import pylumotext
import pylumotext_data

GOLDEN = Path(__file__).with_name("golden_default_data.json")


def main() -> None:
    golden = json.loads(GOLDEN.read_text(encoding="utf-8"))
    jieba = pylumotext.Jieba(**pylumotext_data.paths())
    cuts = {"cut": jieba.cut, "cut_for_search": jieba.cut_for_search}
    for mode, cases in golden.items():
        golden[mode] = [[sentence, cuts[mode](sentence)] for sentence, _ in cases]
    GOLDEN.write_text(format_golden(golden), encoding="utf-8")


def format_golden(golden: dict[str, list[list[object]]]) -> str:
    """One case a line, so that a change of one sentence is one line of diff."""
    modes = []
    for mode, cases in golden.items():
        lines = ",\n".join("  " + json.dumps(case, ensure_ascii=False) for case in cases)
        modes.append(f" {json.dumps(mode)}: [\n{lines}\n ]")
    return "{\n" + ",\n".join(modes) + "\n}\n"


if __name__ == "__main__":
    main()
