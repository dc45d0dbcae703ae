"""Wall-clock time of lumotext.dask.fit_bm25 (segmentation included) on a
distributed.LocalCluster with 1 and with 2 worker processes, in the same run,
on the benchmark text (one document per line), against segmenting and
fitting in this process (a cut per text, and fit_texts on one thread and on all), with the time an empty reduction over the same bag
takes on each cluster (the fixed cost of a Dask computation). Run by hand
from the project root:

    python3 bench/bench_bm25_dask.py [--text-dir ../shared/data-sources/bench-text] [--runs 3]
                                     [--partitions 16] [--repeat 1] [--segmenter default|jieba]
"""

import argparse
import os
import pathlib
import statistics
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import dask.bag as db  # noqa: E402
import distributed  # noqa: E402
import pylumotext  # noqa: E402
import pylumotext_data  # noqa: E402
from bench_bm25 import machine  # noqa: E402

from lumotext import BM25Encoder, Segmenter  # noqa: E402
from lumotext.dask import fit_bm25  # noqa: E402


class PicklableJieba:
    """Travels as its data paths; each worker rebuilds it once."""

    def __init__(self, paths):
        self.paths = paths
        self.jieba = pylumotext.Jieba(**paths)

    def cut(self, text):
        return self.jieba.cut(text)

    def __reduce__(self):
        return (PicklableJieba, (self.paths,))


def wall(run, runs):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        result = run()
        times.append(time.perf_counter() - start)
    return statistics.median(times), result


def main():
    root = pathlib.Path(__file__).resolve().parents[1]
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--text-dir", default=root.parent / "shared" / "data-sources" / "bench-text")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--partitions", type=int, default=16)
    parser.add_argument("--repeat", type=int, default=1, help="train on the text this many times over")
    parser.add_argument("--segmenter", choices=["default", "jieba"], default="default",
                        help="lumotext.Segmenter (the recipe's default, one native call per partition) or a "
                             "pylumotext.Jieba wrapper (one call per text)")
    args = parser.parse_args()

    texts = [line for path in sorted(pathlib.Path(args.text_dir).glob("*.txt"))
             for line in path.read_text(encoding="utf-8").splitlines() if line.strip()] * args.repeat
    megabytes = sum(len(t.encode()) for t in texts) / 1e6
    print(machine())
    print(f"text: {len(texts)} lines, {megabytes:.1f} MB; {args.partitions} partitions; segmenter {args.segmenter}; "
          f"median wall time of {args.runs} runs\n")

    segmenter = Segmenter() if args.segmenter == "default" else PicklableJieba(pylumotext_data.paths())
    cpu_before = time.process_time()
    local, expected = wall(lambda: BM25Encoder().fit(segmenter.cut(t) for t in texts), args.runs)
    local_cpu = (time.process_time() - cpu_before) / args.runs
    print(f"{'in process':<20} {local:>7.2f} s  {megabytes / local:>6.2f} MB/s  (CPU {local_cpu:.2f} s per run; "
          f"a cut per text, then fit)")
    # What each worker task runs: cutting and training natively, one thread,
    # and the same call on every core of this process.
    for threads in (1, None):
        cpu_before = time.process_time()
        fused, fused_result = wall(lambda: BM25Encoder().fit_texts(texts, segmenter, threads=threads), args.runs)
        fused_cpu = (time.process_time() - cpu_before) / args.runs
        assert fused_result == expected, "fit_texts differs from fitting the cuts"
        label = f"fit_texts, {'1 thread' if threads == 1 else 'all CPUs'}"
        print(f"{label:<20} {fused:>7.2f} s  {megabytes / fused:>6.2f} MB/s  (CPU {fused_cpu:.2f} s per run; "
              f"{local / fused:.2f}x the cut per text)")
    results = {}
    for workers in (1, 2):
        with distributed.LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                                      dashboard_address=None) as cluster, distributed.Client(cluster) as client:
            bag = db.from_sequence(texts, npartitions=args.partitions).persist()
            fit_bm25(bag, segmenter)  # builds the segmenter in every worker
            cpu_before = sum(client.run(time.process_time).values())
            seconds, encoder = wall(lambda: fit_bm25(bag, segmenter), args.runs)
            worker_cpu = (sum(client.run(time.process_time).values()) - cpu_before) / args.runs
            assert encoder == expected, "the cluster result differs from the in-process fit"
            results[workers] = seconds
            # What any reduction over this bag costs on this cluster, work aside.
            floor, _ = wall(lambda: bag.reduction(lambda part: sum(1 for _ in part), sum).compute(), args.runs)
            # Worker CPU per run tells the work apart from waiting on a busy machine.
            label = f"{workers} worker{'s' if workers > 1 else ''}"
            print(f"{label:<20} {seconds:>7.2f} s  "
                  f"{megabytes / seconds:>6.2f} MB/s  (worker CPU {worker_cpu:.2f} s per run; "
                  f"an empty reduction takes {floor:.2f} s)")
    print(f"\n2 workers / 1 worker: {results[1] / results[2]:.2f}x (target >= 1.7x)")


if __name__ == "__main__":
    main()
