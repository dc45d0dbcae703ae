"""Throughput of BM25.train, encode_document and encode_query from Python
lists, against a plain pure-Python implementation of the same formulas run
in the same process on the same corpus.

The corpus is synthetic: documents of 50 to 200 tokens drawn from a Zipf
vocabulary, built by splitting text so that every token is a fresh str (as a
tokenizer returns them, with no cached hash). Run by hand:

    python3 bench/bench_bm25.py [--docs 100000] [--vocab 100000] [--repeat 5] [--script latin|han]

--script han draws words of 1 to 4 Han characters instead of 2 to 10 ASCII
letters: str objects that hold no UTF-8 of their own, as a Chinese
segmenter's words are.
"""

import argparse
import bisect
import itertools
import math
import os
import platform
import random
import statistics
import string
import time

import pylumotext


class PurePythonBM25:
    """The model's formulas in plain Python: the baseline."""

    def __init__(self, b=0.75, k1=1.2):
        self.b = b
        self.k1 = k1
        self.doc_count = 0
        self.doc_length_total = 0
        self.doc_length_average = 0.0
        self.frequency = {}

    def train(self, tokens, key=None):
        counts = {}
        for token in tokens:
            counts[token] = counts.get(token, 0) + 1
        frequency = self.frequency
        for token, count in counts.items():
            text = token if key is None else key(token)
            frequency[text] = frequency.get(text, 0) + count
        self.doc_count += 1
        self.doc_length_total += len(tokens)
        self.doc_length_average = self.doc_length_total / self.doc_count

    def encode_document(self, tokens):
        counts = {}
        for token in tokens:
            counts[token] = counts.get(token, 0) + 1
        norm = ((len(tokens) / self.doc_length_average) * self.b + (1.0 - self.b)) * self.k1
        return {token: tf / (tf + norm) for token, tf in sorted(counts.items())}

    def encode_query(self, tokens, key=None):
        n = self.doc_count + 1
        frequency = self.frequency
        idf = {}
        for token in tokens:
            if token not in idf:
                f = frequency.get(token if key is None else key(token))
                idf[token] = math.log(n / (f + 0.5)) if f is not None else math.log(n / 1.5)
        items = sorted(idf.items())
        total = 0.0
        for _, weight in items:
            total += weight
        return {token: weight / total for token, weight in items}


HAN = [chr(code) for code in range(0x4E00, 0x9FA6)]


def make_vocabulary(size, rng, script="latin"):
    words = set()
    letters, lengths = (HAN, (1, 4)) if script == "han" else (string.ascii_lowercase, (2, 10))
    while len(words) < size:
        words.add("".join(rng.choices(letters, k=rng.randint(*lengths))))
    return sorted(words, key=lambda w: (len(w), w))


def make_corpus(docs, vocab_size, seed, script="latin"):
    rng = random.Random(seed)
    vocabulary = make_vocabulary(vocab_size, rng, script)
    cumulative = list(itertools.accumulate(1.0 / rank for rank in range(1, vocab_size + 1)))
    top = cumulative[-1]
    id_docs = []
    for _ in range(docs):
        length = rng.randint(50, 200)
        id_docs.append([bisect.bisect_left(cumulative, rng.random() * top) for _ in range(length)])
    # Split joined text so that each str token is a new object.
    str_docs = [" ".join(vocabulary[i] for i in doc).split(" ") for doc in id_docs]
    return str_docs, id_docs


def fresh_copy(docs):
    """New str objects for every token, so that no run sees cached hashes."""
    return [" ".join(doc).split(" ") for doc in docs]


def queries_of(docs):
    """Queries of 8 tokens: each document cut into pieces of that length."""
    return [doc[start:start + 8] for doc in docs for start in range(0, len(doc) - 7, 8)]


def timed(run, repeat, prepare=None, clock=time.process_time):
    """Median time of run over repeat runs, by clock (CPU time of the process
    by default), each on a fresh prepare()."""
    times = []
    for _ in range(repeat):
        argument = prepare() if prepare else None
        start = clock()
        result = run(argument)
        times.append(clock() - start)
        del result  # freed outside the clock: letting go of the output is the caller's
    return statistics.median(times)


def machine():
    model = "unknown CPU"
    try:
        with open("/proc/cpuinfo", encoding="utf-8") as info:
            for line in info:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    load = os.getloadavg() if hasattr(os, "getloadavg") else ("?",)
    return (f"{platform.node()}: {model}, {os.cpu_count()} cores, Python {platform.python_version()}, "
            f"load average {load[0]:.2f}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--docs", type=int, default=100000)
    parser.add_argument("--vocab", type=int, default=100000)
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--script", choices=["latin", "han"], default="latin")
    args = parser.parse_args()

    str_docs, id_docs = make_corpus(args.docs, args.vocab, args.seed, args.script)
    tokens = sum(len(doc) for doc in str_docs)
    print(machine())
    print(f"corpus: {args.docs} documents, {tokens} tokens ({args.script}), vocabulary {args.vocab}; "
          f"median of {args.repeat} runs, CPU time of this process\n")

    native = pylumotext.BM25()
    baseline = PurePythonBM25()
    for doc in str_docs:
        native.train(doc)
        baseline.train(doc)

    def train_native(docs):
        model = pylumotext.BM25()
        for doc in docs:
            model.train(doc)

    def train_baseline(docs):
        model = PurePythonBM25()
        for doc in docs:
            model.train(doc, key=str if docs is id_docs else None)

    def each(method):
        def run(docs):
            for doc in docs:
                method(doc)
        return run

    def int_query(doc):
        return baseline.encode_query(doc, key=str)

    cases = [
        ("train", "str", train_native, train_baseline, lambda: fresh_copy(str_docs)),
        ("train", "int", train_native, lambda docs: train_baseline(id_docs), lambda: id_docs),
        ("encode_document", "str", each(native.encode_document), each(baseline.encode_document),
         lambda: fresh_copy(str_docs)),
        ("encode_document", "int", each(native.encode_document), each(baseline.encode_document),
         lambda: id_docs),
        ("encode_query", "str", each(native.encode_query), each(baseline.encode_query),
         lambda: fresh_copy(str_docs)),
        ("encode_query", "int", each(native.encode_query), each(int_query), lambda: id_docs),
        ("encode_query", "str 8", each(native.encode_query), each(baseline.encode_query),
         lambda: queries_of(fresh_copy(str_docs))),
        ("encode_query", "int 8", each(native.encode_query), each(int_query), lambda: queries_of(id_docs)),
    ]
    print(f"{'operation':<16} {'tokens':<6} {'native Mtok/s':>14} {'Python Mtok/s':>14} {'ratio':>7}")
    for name, kind, run_native, run_baseline, prepare in cases:
        native_seconds = timed(run_native, args.repeat, prepare)
        baseline_seconds = timed(run_baseline, args.repeat, prepare)
        case_tokens = sum(len(doc) for doc in prepare())
        native_rate = case_tokens / native_seconds / 1e6
        baseline_rate = case_tokens / baseline_seconds / 1e6
        print(f"{name:<16} {kind:<6} {native_rate:>14.1f} {baseline_rate:>14.1f} "
              f"{baseline_seconds / native_seconds:>6.1f}x")


if __name__ == "__main__":
    main()
