"""lumotext.Segmenter on the bench text: cut_batch on one and two native threads
against a Python loop of cut per line, and tokenize against cut.

    python3 bench/bench_segmenter.py [--text-dir DIR] [--runs N]

Every figure is the median of --runs runs, all measured in this one run; the
ratios are what to read on a shared machine. Targets: cut_batch(threads=1) at
least 1.3x the loop of Segmenter.cut, cut_batch(threads=2) at least 1.8x
cut_batch(threads=1), tokenize at most 1.5x the time of cut.
"""

from __future__ import annotations

import argparse
import os
import pathlib
import statistics
import sys
import time

import lumotext
import pylumotext
import pylumotext_data

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from bench_jieba import DEFAULT_TEXT_DIR, machine, read_lines  # noqa: E402


def median_seconds(call, runs: int) -> tuple[float, float]:
    """Median wall seconds of call and the median share of CPU the process
    used meanwhile (CPU seconds over wall seconds: near 1.0 for two threads
    means the machine gave them only one core)."""
    times, shares = [], []
    for _ in range(runs):
        cpu = sum(os.times()[:2])
        start = time.perf_counter()
        call()
        wall = time.perf_counter() - start
        times.append(wall)
        shares.append((sum(os.times()[:2]) - cpu) / wall)
    return statistics.median(times), statistics.median(shares)


def keep_none(method, lines: list[str]):
    """A loop that drops each result at once, as a pipeline streaming its
    documents does."""
    def loop() -> None:
        for line in lines:
            method(line)
    return loop


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--text-dir", default=DEFAULT_TEXT_DIR)
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    print(f"machine: {machine()}")
    lines = read_lines(args.text_dir)
    if not lines:
        print(f"no *.txt in {args.text_dir}", file=sys.stderr)
        return 1
    megabytes = sum(len(line.encode("utf-8")) for line in lines) / 1e6
    print(f"text: {len(lines)} lines, {megabytes:.2f} MB UTF-8, default data")
    segmenter = lumotext.Segmenter()
    jieba = pylumotext.Jieba(**pylumotext_data.paths())
    assert segmenter.cut_batch(lines, threads=2) == [jieba.cut(line) for line in lines]

    figures = {
        "loop of pylumotext.Jieba.cut": lambda: [jieba.cut(line) for line in lines],
        "loop of Segmenter.cut": lambda: [segmenter.cut(line) for line in lines],
        "cut_batch threads=1": lambda: segmenter.cut_batch(lines, threads=1),
        "cut_batch threads=2": lambda: segmenter.cut_batch(lines, threads=2),
        # What a service cutting each request's few texts pays per call.
        "cut_batch of 8 lines, threads=1": lambda: [segmenter.cut_batch(lines[i:i + 8], threads=1)
                                                    for i in range(0, len(lines), 8)],
        "loop of Segmenter.tokenize": lambda: [segmenter.tokenize(line) for line in lines],
        "streaming loop of cut": keep_none(segmenter.cut, lines),
        "streaming loop of tokenize": keep_none(segmenter.tokenize, lines),
    }
    seconds, cpu = {}, {}
    for label, call in figures.items():
        seconds[label], share = median_seconds(call, args.runs)
        cpu[label] = seconds[label] * share
        print(f"  {label:32s} {seconds[label]:7.3f} s  {megabytes / seconds[label]:6.2f} MB/s  "
              f"cores used {share:.2f}  CPU {cpu[label]:.3f} s")
    loop = seconds["loop of Segmenter.cut"]
    one, two = seconds["cut_batch threads=1"], seconds["cut_batch threads=2"]
    print(f"cut_batch threads=1 vs loop of Segmenter.cut: {loop / one:.2f}x faster (target >= 1.3)")
    print(f"cut_batch threads=1 vs loop of pylumotext.Jieba.cut: "
          f"{seconds['loop of pylumotext.Jieba.cut'] / one:.2f}x faster")
    print(f"cut_batch threads=2 vs threads=1: {one / two:.2f}x faster (target >= 1.8)")
    print(f"cut_batch of 8 lines vs loop of Segmenter.cut: {loop / seconds['cut_batch of 8 lines, threads=1']:.2f}x "
          "faster")
    print(f"in CPU seconds (steadier on a loaded machine): loop of cut / cut_batch threads=1 "
          f"{cpu['loop of Segmenter.cut'] / cpu['cut_batch threads=1']:.2f}, tokenize / cut kept "
          f"{cpu['loop of Segmenter.tokenize'] / cpu['loop of Segmenter.cut']:.2f}, streamed "
          f"{cpu['streaming loop of tokenize'] / cpu['streaming loop of cut']:.2f}")
    print(f"tokenize vs cut, results kept: {seconds['loop of Segmenter.tokenize'] / loop:.2f}x the time; "
          f"streamed: {seconds['streaming loop of tokenize'] / seconds['streaming loop of cut']:.2f}x "
          "(target <= 1.5)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
