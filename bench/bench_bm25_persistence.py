"""Speed of BM25.dump and BM25.load on a model of many distinct tokens,
against Python's json.dumps / json.loads of the equivalent dict, measured in
the same run. Both sides write to and read from a file in the same directory:
dump against json.dumps plus writing the text, load of the file's text
against json.loads of it (reading the file is timed on both sides).

dump also flushes the file to disk before renaming it over the target; the
"json + fsync" column adds the same flush to the baseline for a like-for-like
figure. Run by hand:

    python3 bench/bench_bm25_persistence.py [--tokens 1000000] [--repeat 5]
"""

import argparse
import json
import os
import random
import statistics
import string
import tempfile
import time

import pylumotext
from bench_bm25 import machine


def make_model(count, seed):
    rng = random.Random(seed)
    letters = string.ascii_lowercase
    tokens = set()
    while len(tokens) < count:
        tokens.add("".join(rng.choices(letters, k=rng.randint(3, 12))))
    tokens = list(tokens)
    model = pylumotext.BM25()
    frequency = {}
    for start in range(0, len(tokens), 100):
        doc = tokens[start:start + 100]
        doc += rng.choices(doc, k=rng.randint(0, 100))
        model.train(doc)
        for token in doc:
            frequency[token] = frequency.get(token, 0) + 1
    count = (len(tokens) + 99) // 100
    total = sum(frequency.values())
    equivalent = {"_b": model.b(), "_doc_count": count, "_doc_length_average": total / count,
                  "_doc_token_frequency": frequency, "_k1": model.k1()}
    return model, equivalent


def timed(run, repeat):
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        run()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tokens", type=int, default=1000000)
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()

    model, equivalent = make_model(args.tokens, args.seed)
    with tempfile.TemporaryDirectory() as directory:
        native_path = os.path.join(directory, "model.json")
        python_path = os.path.join(directory, "python.json")

        def native_dump():
            model.dump(native_path)

        def python_dump(sync=False):
            with open(python_path, "w", encoding="utf-8") as out:
                out.write(json.dumps(equivalent))
                if sync:
                    out.flush()
                    os.fsync(out.fileno())

        def native_load():
            with open(native_path, encoding="utf-8") as source:
                pylumotext.BM25().load(source.read())

        def python_load():
            with open(python_path, encoding="utf-8") as source:
                json.loads(source.read())

        native_dump()
        python_dump()
        size = os.path.getsize(native_path)
        print(machine())
        print(f"model: {args.tokens} distinct tokens, document {size / 1e6:.1f} MB; "
              f"median of {args.repeat} runs, wall-clock time\n")
        rows = [
            ("dump", timed(native_dump, args.repeat), timed(python_dump, args.repeat),
             timed(lambda: python_dump(sync=True), args.repeat)),
            ("load", timed(native_load, args.repeat), timed(python_load, args.repeat), None),
        ]
    print(f"{'operation':<10} {'native s':>9} {'json s':>9} {'ratio':>7} {'json + fsync s':>15} {'ratio':>7}")
    for name, native_seconds, python_seconds, synced_seconds in rows:
        line = f"{name:<10} {native_seconds:>9.3f} {python_seconds:>9.3f} {native_seconds / python_seconds:>6.2f}x"
        if synced_seconds is not None:
            line += f" {synced_seconds:>15.3f} {native_seconds / synced_seconds:>6.2f}x"
        print(line)
    print("\nratio: native time over Python json time (at most 2.00x is the target)")


if __name__ == "__main__":
    main()
