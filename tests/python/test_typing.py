"""mypy finds the stubs of pylumotext (the pylumotext-stubs package) and the
inline types of lumotext, and stubtest keeps the stubs and the modules in
agreement."""

from __future__ import annotations

import pathlib
import subprocess
import sys

USES_BOTH = '''\
import pickle

import lumotext
import pylumotext
import pylumotext_data

segmenter = lumotext.Segmenter(user_words=["云原生", ("区块链", 100, "n")])
words: list[str] = segmenter.cut("我爱北京")
batch: list[list[str]] = segmenter.cut_batch(["中国", "北京"], mode="search", threads=2)
tokens: list[tuple[str, int, int]] = segmenter.tokenize("中国", mode="full")
keywords: list[str] = segmenter.extract_keywords("中国人民", top_k=3)
weighted: list[tuple[str, float]] = segmenter.extract_keywords("中国人民", with_weights=True)
tags: list[tuple[str, str]] = segmenter.tag("中国")
jieba = pylumotext.Jieba(**pylumotext_data.paths())
search: list[str] = jieba.cut_for_search("中国人民")
bm25 = pylumotext.BM25(b=0.5)
bm25.train(words)
query: dict[str, float] = bm25.encode_query(search)
restored: lumotext.Segmenter = pickle.loads(pickle.dumps(segmenter))
'''

# Each line must be an error: the stubs and the inline types are real, not Any.
MISUSES = '''\
import lumotext
import pylumotext

a: int = pylumotext.Jieba("d", "h", "u", "i", "s").cut("x")
b: list[int] = lumotext.Segmenter().cut_batch(["x"])
lumotext.Segmenter().tokenize("x", mode="fast")
'''


def run_mypy(*arguments: str) -> subprocess.CompletedProcess[str]:
    return subprocess.run([sys.executable, "-m", "mypy", *arguments], capture_output=True, text=True, check=False)


def test_mypy_strict_on_a_script_using_both_packages(tmp_path: pathlib.Path) -> None:
    (tmp_path / "uses_both.py").write_text(USES_BOTH, encoding="utf-8")
    (tmp_path / "misuses.py").write_text(MISUSES, encoding="utf-8")
    result = run_mypy("--strict", "--no-incremental", "--cache-dir", str(tmp_path / "cache"),
                      str(tmp_path / "uses_both.py"), str(tmp_path / "misuses.py"))
    errors = [line.split(":")[0:2] for line in result.stdout.splitlines() if ": error:" in line]
    assert errors == [[str(tmp_path / "misuses.py"), str(n)] for n in (4, 5, 6)], result.stdout


def test_stubtest_finds_stubs_and_modules_in_agreement(tmp_path: pathlib.Path) -> None:
    allowlist = pathlib.Path(__file__).with_name("stubtest_allowlist.txt")
    result = subprocess.run([sys.executable, "-m", "mypy.stubtest", "pylumotext", "lumotext._native",
                             "--allowlist", str(allowlist)],
                            capture_output=True, text=True, check=False, cwd=tmp_path)
    assert result.returncode == 0, result.stdout + result.stderr
