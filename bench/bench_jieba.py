"""Throughput of Jieba.cut and cut_for_search from Python, on one thread and
on two threads sharing one object, and the construction time and resident
memory of a Jieba built on a 350,000-word synthetic dictionary.

    python3 bench/bench_jieba.py [--text-dir DIR] [--runs N] [--words N]

The text is read at run time (never copied into the repository). Segmentation
uses the default data of pylumotext_data when it is installed, else synthetic
data. Every figure is the median of --runs runs; ratios compare figures
measured in this same run.
"""

from __future__ import annotations

import argparse
import gc
import hashlib
import os
import pathlib
import platform
import random
import statistics
import sys
import tempfile
import threading
import time

import pylumotext

DEFAULT_TEXT_DIR = str(pathlib.Path(__file__).resolve().parents[2] / "shared" / "data-sources" / "bench-text")

SYNTHETIC_MODEL = """\
-0.26 -3.14e+100 -3.14e+100 -1.46
-3.14e+100 -0.51 -0.91 -3.14e+100
-0.59 -3.14e+100 -3.14e+100 -0.81
-3.14e+100 -0.33 -1.26 -3.14e+100
-0.72 -3.14e+100 -3.14e+100 -0.67
{b}
{e}
{m}
{s}
"""


def machine() -> str:
    model = platform.processor() or "unknown cpu"
    try:
        for line in pathlib.Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    load = os.getloadavg()[0] if hasattr(os, "getloadavg") else float("nan")
    return (f"{model}, {os.cpu_count()} cpus, {platform.system()} {platform.release()}, "
            f"Python {platform.python_version()}, load average {load:.2f}")


def resident_bytes() -> int:
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def cjk_chars(count: int) -> list[str]:
    return [chr(0x4E00 + i) for i in range(count)]


def write_synthetic_data(directory: pathlib.Path, word_count: int, seed: int = 20240321) -> dict[str, str]:
    """A main dictionary of word_count distinct words (mostly 2 to 4
    characters, some 1 and up to 10, over 6000 CJK characters with a skewed
    frequency), an HMM model over the same characters, an IDF table and stop
    words."""
    rng = random.Random(seed)
    chars = cjk_chars(6000)
    char_weights = [1.0 / (i + 10) for i in range(len(chars))]
    lengths = list(range(1, 11))
    length_weights = [4, 42, 26, 16, 4, 3, 2, 1.5, 1, 0.5]
    tags = ["n", "v", "a", "d", "nr", "ns", "m", "vn", "nz", "i"]
    seen: set[str] = set()
    lines = []
    while len(seen) < word_count:
        batch = rng.choices(lengths, length_weights, k=10000)
        letters = iter(rng.choices(chars, char_weights, k=sum(batch)))
        for length in batch:
            word = "".join(next(letters) for _ in range(length))
            if word in seen or len(seen) >= word_count:
                continue
            seen.add(word)
            frequency = int(10 ** (rng.random() * rng.random() * 5))
            lines.append(f"{word} {frequency} {rng.choice(tags)}\n")
    (directory / "main.txt").write_text("".join(lines), encoding="utf-8")
    emissions = {state: ",".join(f"{c}:{-rng.uniform(3, 12):.4f}" for c in chars) for state in "bems"}
    (directory / "hmm.txt").write_text(SYNTHETIC_MODEL.format(**emissions), encoding="utf-8")
    idf_words = rng.sample(sorted(seen), k=min(50000, len(seen)))
    (directory / "idf.txt").write_text("".join(f"{w} {rng.uniform(2, 14):.4f}\n" for w in idf_words),
                                       encoding="utf-8")
    (directory / "stop.txt").write_text("的\n了\n是\n", encoding="utf-8")
    return {"dict_path": str(directory / "main.txt"), "hmm_path": str(directory / "hmm.txt"),
            "user_dict_path": "", "idf_path": str(directory / "idf.txt"),
            "stop_word_path": str(directory / "stop.txt")}


def read_lines(text_dir: str) -> list[str]:
    lines = []
    for path in sorted(pathlib.Path(text_dir).glob("*.txt")):
        lines.extend(line for line in path.read_text(encoding="utf-8", errors="replace").splitlines() if line)
    return lines


def timed(call) -> float:
    start = time.perf_counter()
    call()
    return time.perf_counter() - start


def run_split(function, parts: list[list[str]]) -> tuple[float, float]:
    """Wall seconds to cut every line of every part, one thread per part, and
    the process's CPU seconds meanwhile: near the wall seconds for two
    threads means the machine gave them only one core."""
    cpu_start = sum(os.times()[:2])
    wall = _run_split(function, parts)
    return wall, sum(os.times()[:2]) - cpu_start


class Paired:
    """Alternating runs of function on one thread over pieces and on two
    threads over halves: medians of each, and the median of the paired ratios
    one / two, which a machine's drift between runs moves less than a ratio
    of separate medians."""

    def __init__(self, function, pieces: list[str], halves: list[list[str]], runs: int) -> None:
        ones, twos = [], []
        for _ in range(runs):
            ones.append(run_split(function, [pieces]))
            twos.append(run_split(function, halves))
        self.one = statistics.median(wall for wall, _ in ones)
        self.one_cpu = statistics.median(cpu for _, cpu in ones)
        self.two = statistics.median(wall for wall, _ in twos)
        self.cores_used = statistics.median(cpu / wall for wall, cpu in twos)
        self.ratio = statistics.median(one[0] / two[0] for one, two in zip(ones, twos))


def _run_split(function, parts: list[list[str]]) -> float:
    def work(lines: list[str]) -> None:
        for line in lines:
            function(line)

    if len(parts) == 1:
        return timed(lambda: work(parts[0]))
    threads = [threading.Thread(target=work, args=(part,)) for part in parts]
    start = time.perf_counter()
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    return time.perf_counter() - start


def python_control(line: str) -> list[str]:
    """Pure-Python work per line, about as long as a cut of it."""
    return [character for character in line if character != " "]


def native_control(block: bytes) -> bytes:
    """Native work of about a 64 KB cut's time, off the interpreter lock."""
    return hashlib.sha256(block).digest()


def chunks_of(lines: list[str], chunk_bytes: int) -> list[str]:
    """The lines joined by line feeds into pieces of about chunk_bytes."""
    chunks, current, size = [], [], 0
    for line in lines:
        current.append(line)
        size += len(line) * 3
        if size >= chunk_bytes:
            chunks.append("\n".join(current))
            current, size = [], 0
    if current:
        chunks.append("\n".join(current))
    return chunks


def bench_throughput(jieba: pylumotext.Jieba, lines: list[str], runs: int) -> None:
    text_megabytes = sum(len(line.encode("utf-8")) + 1 for line in lines) / 1e6
    print(f"text: {len(lines)} lines, {text_megabytes:.2f} MB UTF-8")
    baseline = statistics.median(timed(lambda: [line.split() for line in lines]) for _ in range(runs))
    print(f"  baseline str.split per line: {text_megabytes / baseline:8.1f} MB/s")
    # The text in 64 KB calls is cut three times over per run: one pass takes
    # well under 0.1 s, in which starting the threads and the machine's
    # jitter would weigh on the two-thread ratio.
    chunk_passes = 3
    for label, pieces, passes in (("one call per line", lines, 1),
                                  ("calls of ~64 KB", chunks_of(lines, 64 * 1024) * chunk_passes, chunk_passes)):
        halves = [pieces[0::2], pieces[1::2]]
        megabytes = passes * text_megabytes
        print(f"  {label} ({len(pieces)} calls):")
        for method in ("cut", "cut_for_search"):
            runs_of = Paired(getattr(jieba, method), pieces, halves, runs)
            print(f"    {method:15s} 1 thread {megabytes / runs_of.one:6.1f} MB/s ({megabytes / runs_of.one_cpu:.1f} MB per CPU second), "
                  f"2 threads {megabytes / runs_of.two:6.1f} MB/s, ratio 2/1 {runs_of.ratio:.2f} (cores used {runs_of.cores_used:.2f}); "
                  f"1 thread is {runs_of.one / passes / baseline:.1f}x the str.split time")
        if label == "one call per line":
            # What two threads give for any per-line call that keeps the
            # interpreter lock: the ceiling for short calls on this machine.
            control = Paired(python_control, pieces, halves, runs)
            print(f"    {'Python control':15s} ratio 2/1 {control.ratio:.2f} (a pure-Python function of about the same cost per line)")
            # Alternate lines go to alternate threads above; here each thread
            # cuts its own half of the text in order, as threads that read
            # streams of their own do.
            own = Paired(jieba.cut, pieces, [pieces[:len(pieces) // 2], pieces[len(pieces) // 2:]], runs)
            print(f"    {'cut, own halves':15s} ratio 2/1 {own.ratio:.2f} (each thread cuts one half of the text in order)")
            bench_one_core(jieba.cut, pieces, halves, runs)
        else:
            # What two threads give for a long call that holds the lock for
            # almost none of its time: the ceiling for long calls on this
            # machine.
            block = os.urandom(1 << 20)
            control = Paired(native_control, [block] * len(pieces), [[block] * len(half) for half in halves], runs)
            print(f"    {'native control':15s} ratio 2/1 {control.ratio:.2f} (hashlib.sha256 of 1 MiB per call, "
                  f"which releases the interpreter lock)")


def bench_one_core(function, pieces: list[str], halves: list[list[str]], runs: int) -> None:
    """The two-thread ratio of cut with the process held on one core: two
    threads that take turns holding the interpreter lock on two cores each
    find the other's recently written objects in the other core's cache."""
    if not hasattr(os, "sched_setaffinity"):
        return
    cores = os.sched_getaffinity(0)
    os.sched_setaffinity(0, {min(cores)})
    try:
        ratio = Paired(function, pieces, halves, runs).ratio
    finally:
        os.sched_setaffinity(0, cores)
    print(f"    {'cut, one core':15s} ratio 2/1 {ratio:.2f} (both threads held on one core)")


def bench_mixed_callers(jieba: pylumotext.Jieba, lines: list[str]) -> None:
    """Threads that do not cut line after line, the callers a rule for when
    short calls release the lock must not slow down: four server-like threads
    that each cut a line and sleep 0.2 ms, and a thread cutting lines beside
    one that runs about 15 microseconds of Python code after each cut."""
    sample = lines[:2000]
    spent: list[float] = []

    def server(part: list[str]) -> None:
        total = 0.0
        for line in part:
            start = time.perf_counter()
            jieba.cut(line)
            total += time.perf_counter() - start
            time.sleep(0.0002)
        spent.append(total)

    alone = timed(lambda: [jieba.cut(line) for line in sample]) / len(sample)
    threads = [threading.Thread(target=server, args=(sample[k::4],)) for k in range(4)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    print(f"  4 threads, a cut then a 0.2 ms sleep: {sum(spent) / len(sample) * 1e6:.1f} us a cut "
          f"(one thread alone: {alone * 1e6:.1f} us)")

    stop = threading.Event()
    calls = [0, 0]

    def caller(slot: int, python_work: int) -> None:
        while not stop.is_set():
            for line in sample[:100]:
                jieba.cut(line)
                for _ in range(python_work):
                    pass
            calls[slot] += 100

    repeated = sample[:100] * 100
    fast_alone = len(repeated) / timed(lambda: [jieba.cut(line) for line in repeated])
    pair = [threading.Thread(target=caller, args=(0, 0)), threading.Thread(target=caller, args=(1, 1000))]
    for thread in pair:
        thread.start()
    time.sleep(1.0)
    stop.set()
    for thread in pair:
        thread.join()
    print(f"  a fast caller beside a busy one, 1 s: {calls[0]} and {calls[1]} cuts "
          f"(the fast one alone: {fast_alone:.0f} cuts a second)")


def bench_edge_cases(jieba: pylumotext.Jieba, lines: list[str]) -> None:
    text = "".join(lines)
    bytes_per_char = len(text.encode("utf-8")) / max(1, len(text))
    sentence = (text * (int(50_000_000 / max(1, len(text.encode("utf-8")))) + 1))[:int(50_000_000 / bytes_per_char)]
    size = len(sentence.encode("utf-8")) / 1e6
    start = time.perf_counter()
    words = jieba.cut(sentence)
    seconds = time.perf_counter() - start
    joined = "".join(words) == sentence
    print(f"one {size:.1f} MB sentence without line breaks: {seconds:.2f} s, {len(words)} words, "
          f"joins back: {joined}")
    separators = " ，" * 50_000
    seconds = timed(lambda: jieba.cut_for_search(separators))
    print(f"10^5 separators: cut_for_search {seconds * 1e3:.1f} ms, {len(jieba.cut(separators))} words")


def bench_construction(word_count: int, runs: int) -> None:
    with tempfile.TemporaryDirectory() as directory:
        start = time.perf_counter()
        paths = write_synthetic_data(pathlib.Path(directory), word_count)
        print(f"synthetic data of {word_count} words written in {time.perf_counter() - start:.1f} s")
        seconds = []
        deltas = []
        for _ in range(runs):
            gc.collect()
            before = resident_bytes()
            start = time.perf_counter()
            jieba = pylumotext.Jieba(**paths)
            seconds.append(time.perf_counter() - start)
            deltas.append(resident_bytes() - before)
            del jieba
        print(f"construction on {word_count} words: median {statistics.median(seconds):.3f} s, "
              f"resident {statistics.median(deltas) / 1e6:.1f} MB "
              f"({statistics.median(deltas) / word_count:.0f} bytes/word, HMM model and IDF table included)")


def default_or_synthetic(directory: pathlib.Path) -> tuple[pylumotext.Jieba, str]:
    try:
        import pylumotext_data

        return pylumotext.Jieba(**pylumotext_data.paths()), "default data (pylumotext_data)"
    except ImportError:
        return pylumotext.Jieba(**write_synthetic_data(directory, 350_000)), "synthetic 350k-word data"


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--text-dir", default=DEFAULT_TEXT_DIR)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--words", type=int, default=350_000)
    parser.add_argument("--skip-edge-cases", action="store_true")
    args = parser.parse_args()
    print(f"machine: {machine()}")
    lines = read_lines(args.text_dir)
    if not lines:
        print(f"no *.txt in {args.text_dir}", file=sys.stderr)
        return 1
    with tempfile.TemporaryDirectory() as directory:
        jieba, data = default_or_synthetic(pathlib.Path(directory))
    print(f"segmentation data: {data}")
    bench_throughput(jieba, lines, args.runs)
    bench_mixed_callers(jieba, lines)
    if not args.skip_edge_cases:
        bench_edge_cases(jieba, lines)
    del jieba
    bench_construction(args.words, max(1, args.runs // 2))
    return 0


if __name__ == "__main__":
    sys.exit(main())
