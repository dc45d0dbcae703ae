"""Throughput of lumotext.BM25Encoder.fit_texts and encode_texts on raw texts
(one document per line of the benchmark text), on one thread and on every CPU,
against cutting with Segmenter.cut_batch and then calling fit or
encode_documents, in the same run. MB of UTF-8 per second: CPU time of the
process for one thread, wall time for all CPUs. Run by hand from the project
root:
    python3 bench/bench_bm25_texts.py [--text-dir ../shared/data-sources/bench-text] [--runs 5]
"""
import argparse
import os
import pathlib
import statistics
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench_bm25 import machine  # noqa: E402
from lumotext import BM25Encoder, Segmenter  # noqa: E402


def median_seconds(run, runs, clock):
    times = []
    for _ in range(runs):
        start = clock()
        run()
        times.append(clock() - start)
    return statistics.median(times)


def main():
    root = pathlib.Path(__file__).resolve().parents[1]
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--text-dir", default=root.parent / "shared" / "data-sources" / "bench-text")
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    texts = [line for path in sorted(pathlib.Path(args.text_dir).glob("*.txt"))
             for line in path.read_text(encoding="utf-8").splitlines() if line.strip()]
    megabytes = sum(len(t.encode()) for t in texts) / 1e6
    segmenter = Segmenter()
    encoder = BM25Encoder().fit_texts(texts, segmenter)
    print(machine())
    print(f"text: {len(texts)} lines, {megabytes:.1f} MB; median of {args.runs} runs\n")
    print(f"{'operation':<22} {'two steps':>10} {'1 thread':>9} {'x':>6} {'all CPUs':>9} {'x':>6}   (MB/s)")
    cases = [("fit", lambda: BM25Encoder().fit(segmenter.cut_batch(texts, threads=1), threads=1),
              lambda threads: BM25Encoder().fit_texts(texts, segmenter, threads=threads))]
    for output in ("dict", "sparse", "csr"):
        cases.append((f"encode, {output}",
                      lambda output=output: encoder.encode_documents(segmenter.cut_batch(texts, threads=1), output),
                      lambda threads, output=output: encoder.encode_texts(texts, segmenter, output=output,
                                                                          threads=threads)))
    for name, two_steps, fused in cases:
        base = megabytes / median_seconds(two_steps, args.runs, time.process_time)
        one = megabytes / median_seconds(lambda: fused(1), args.runs, time.process_time)
        every = megabytes / median_seconds(lambda: fused(None), args.runs, time.perf_counter)
        print(f"{name:<22} {base:>10.1f} {one:>9.1f} {one / base:>5.2f}x {every:>9.1f} {every / base:>5.2f}x")


if __name__ == "__main__":
    main()
