"""Throughput of lumotext.BM25Encoder over whole corpora (fit, encode_documents
to dicts, to index/value dicts and to CSR, encode_queries), against the
per-call pylumotext.BM25 loop and a pure-Python implementation of the same
formulas, all measured in the same run on the same synthetic Zipf corpus as
bench_bm25.py (every token a fresh str), in tokens per CPU second, with
CPython's floor for making the dicts, and fit and CSR encoding of integer ids
given as lists and as NumPy arrays; then fit and encoding on one and two
threads in tokens per second of wall time. Run by hand:

    python3 bench/bench_bm25_encoder.py [--docs 100000] [--vocab 100000] [--repeat 5] [--script latin|han] [--wall-only]
"""

import argparse
import os
import sys
import time

# CPU time is summed over the process's threads: idle OpenBLAS threads that
# SciPy starts would spin into the CSR figure.
os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import pylumotext  # noqa: E402
from bench_bm25 import PurePythonBM25, fresh_copy, machine, make_corpus, timed  # noqa: E402

from lumotext import BM25Encoder  # noqa: E402


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--docs", type=int, default=100000)
    parser.add_argument("--vocab", type=int, default=100000)
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--script", choices=["latin", "han"], default="latin",
                        help="words of ASCII letters, or of 1 to 4 Han characters (see bench_bm25.py)")
    parser.add_argument("--wall-only", action="store_true", help="only the one- and two-thread wall times")
    args = parser.parse_args()

    str_docs, id_docs = make_corpus(args.docs, args.vocab, args.seed, args.script)
    tokens = sum(len(doc) for doc in str_docs)
    print(machine())
    print(f"corpus: {args.docs} documents, {tokens} str tokens ({args.script}), vocabulary {args.vocab}; "
          f"median of {args.repeat} runs, CPU time of this process\n")

    encoder = BM25Encoder().fit(str_docs)
    prepare = lambda: fresh_copy(str_docs)  # noqa: E731
    if not args.wall_only:
        compare_per_call(args, encoder, str_docs, id_docs, tokens, prepare)
    wall_times(args, encoder, tokens, prepare)


def compare_per_call(args, encoder, str_docs, id_docs, tokens, prepare):
    per_call = pylumotext.BM25()
    baseline = PurePythonBM25()
    for doc in str_docs:
        per_call.train(doc)
        baseline.train(doc)

    # The loops keep their vectors, as the batch calls do.
    def loop(method):
        def run(docs):
            return [method(doc) for doc in docs]
        return run

    def train_per_call(docs):
        model = pylumotext.BM25()
        for doc in docs:
            model.train(doc)

    def train_baseline(docs):
        model = PurePythonBM25()
        for doc in docs:
            model.train(doc)

    cases = [
        ("fit", lambda docs: BM25Encoder().fit(docs, threads=1), train_per_call, train_baseline),
        ("encode_documents dict", lambda docs: encoder.encode_documents(docs, threads=1),
         loop(per_call.encode_document), loop(baseline.encode_document)),
        ("encode_documents sparse", lambda docs: encoder.encode_documents(docs, output="sparse", threads=1),
         loop(per_call.encode_document), loop(baseline.encode_document)),
        ("encode_documents csr", lambda docs: encoder.encode_documents(docs, output="csr", threads=1),
         loop(per_call.encode_document), loop(baseline.encode_document)),
        ("encode_queries dict", lambda docs: encoder.encode_queries(docs, threads=1), loop(per_call.encode_query),
         loop(baseline.encode_query)),
    ]
    # The targets are for every core, so they stand beside the wall times below.
    print(f"{'operation':<24} {'Mtok/s':>8} {'per-call':>9} {'Python':>8} {'x per-call':>11} {'x Python':>9}")
    for name, run, run_per_call, run_baseline in cases:
        seconds = timed(run, args.repeat, prepare)
        per_call_seconds = timed(run_per_call, args.repeat, prepare)
        baseline_seconds = timed(run_baseline, args.repeat, prepare)
        rate = tokens / seconds / 1e6
        print(f"{name:<24} {rate:>8.1f} {tokens / per_call_seconds / 1e6:>9.1f} "
              f"{tokens / baseline_seconds / 1e6:>8.1f} {per_call_seconds / seconds:>10.1f}x "
              f"{baseline_seconds / seconds:>8.1f}x")

    # CPython's own floor for any dict output: one dict per document keyed by
    # its tokens, which hashes every fresh str, without weights.
    floor = timed(lambda docs: [dict.fromkeys(doc) for doc in docs], args.repeat, prepare)
    print(f"{'dict.fromkeys per doc':<24} {tokens / floor / 1e6:>8.1f}   (no weights: the ceiling for dicts)")

    # Integer ids as lists of int and as NumPy arrays, read from their memory.
    import numpy  # noqa: E402 (SciPy's dependency; needed here only)

    arrays = [numpy.array(doc, dtype=numpy.int64) for doc in id_docs]
    id_encoder = BM25Encoder().fit(id_docs)
    print(f"\n{'int ids, M tok/s':<24} {'lists':>8} {'NumPy':>9}")
    for name, run in [("fit", lambda docs: BM25Encoder().fit(docs, threads=1)),
                      ("encode_documents csr", lambda docs: id_encoder.encode_documents(docs, output="csr", threads=1))]:
        on_lists = timed(run, args.repeat, lambda: id_docs)
        on_arrays = timed(run, args.repeat, lambda: arrays)
        print(f"{name:<24} {tokens / on_lists / 1e6:>8.1f} {tokens / on_arrays / 1e6:>9.1f}")


def wall_times(args, encoder, tokens, prepare):
    # Two threads: what a caller waits for, against one thread in the same run.
    print(f"\n{'wall time':<32} {'Mtok/s':>8} {'CPU Mtok/s':>11} {'target':>11}")
    threaded = [
        ("fit", 40, lambda threads: lambda docs: BM25Encoder().fit(docs, threads=threads)),
        ("encode_documents csr", 60,
         lambda threads: lambda docs: encoder.encode_documents(docs, output="csr", threads=threads)),
        ("encode_documents dict", 20, lambda threads: lambda docs: encoder.encode_documents(docs, threads=threads)),
    ]
    for name, target, run_on in threaded:
        for threads in (1, 2):
            wall = timed(run_on(threads), args.repeat, prepare, clock=time.perf_counter)
            cpu = timed(run_on(threads), args.repeat, prepare)
            rate = tokens / wall / 1e6
            verdict = "" if threads == 1 else (f">={target} ok" if rate >= target else f">={target} MISS")
            print(f"{f'{name}, threads={threads}':<32} {rate:>8.1f} {tokens / cpu / 1e6:>11.1f} {verdict:>11}")


if __name__ == "__main__":
    main()
