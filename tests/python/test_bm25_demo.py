"""The BM25 demo of examples/ ranks the matching document first."""

import pathlib
import runpy

DEMO = pathlib.Path(__file__).resolve().parents[2] / "examples" / "bm25_demo.py"


def test_demo_ranks_documents_by_score(capsys):
    demo = runpy.run_path(str(DEMO))
    demo["main"](["lazy", "brown", "fox"])
    lines = capsys.readouterr().out.splitlines()
    assert lines[0] == "query: lazy brown fox"
    assert lines[2].endswith("The quick brown fox jumps over the lazy dog.")
    scores = [float(line.split()[1]) for line in lines[2:]]
    assert len(scores) == len(demo["CORPUS"])
    assert scores == sorted(scores, reverse=True) and scores[0] > scores[1] > 0.0
