"""Several Python threads segmenting with one shared Jieba, and the release of
the interpreter lock during a long cut."""

from __future__ import annotations

import pathlib
import threading
import time
from concurrent.futures import ThreadPoolExecutor

import pytest

import pylumotext
from jieba_data import write_data

SENTENCES = [
    "我爱北京大学",
    "中国人民 甲乙丙丁",
    "abc 3.14，北京。",
    "",
    "中国人" * 200,
    # Either side of the length below which a cut keeps the interpreter lock.
    "中国人民" * 85 + "甲",
    "中国人民" * 85 + "甲乙",
    "x😀y 中国",
]


@pytest.fixture(scope="module")
def data_paths(tmp_path_factory: pytest.TempPathFactory) -> dict[str, str]:
    return write_data(tmp_path_factory.mktemp("jieba_threads"))


@pytest.fixture(scope="module")
def jieba(data_paths: dict[str, str]) -> pylumotext.Jieba:
    return pylumotext.Jieba(**data_paths)


def test_threads_sharing_one_object_get_the_sequential_results(jieba: pylumotext.Jieba) -> None:
    expected = [(jieba.cut(s), jieba.cut_for_search(s)) for s in SENTENCES]

    def work(seed: int) -> list[bool]:
        agreements = []
        for round_number in range(300):
            k = (seed + round_number) % len(SENTENCES)
            agreements.append((jieba.cut(SENTENCES[k]), jieba.cut_for_search(SENTENCES[k])) == expected[k])
        return agreements

    with ThreadPoolExecutor(max_workers=4) as pool:
        results = list(pool.map(work, range(4)))
    assert [all(r) for r in results] == [True] * 4
    assert sum(len(r) for r in results) == 1200


def ticks_during(call) -> tuple[int, float, object]:
    """Runs call while another thread ticks every millisecond; returns the
    ticks that fell inside the call, its duration and its result."""
    ticks: list[float] = []
    stop = threading.Event()

    def ticker() -> None:
        while not stop.is_set():
            ticks.append(time.perf_counter())
            time.sleep(0.001)

    thread = threading.Thread(target=ticker)
    thread.start()
    try:
        time.sleep(0.01)
        started = time.perf_counter()
        result = call()
        finished = time.perf_counter()
    finally:
        stop.set()
        thread.join()
    return sum(1 for t in ticks if started < t < finished), finished - started, result


# Both modules release the lock for a long text by the same rule.
@pytest.mark.parametrize("method, words_per_piece", [("cut", 5), ("cut_for_search", 10), ("lumotext cut", 5),
                                                     ("lumotext tokenize", 5)])
def test_another_thread_runs_while_one_long_call_runs(jieba: pylumotext.Jieba, data_paths: dict[str, str],
                                                      method: str, words_per_piece: int) -> None:
    sentence = "我爱北京大学中国人民甲乙" * 200_000  # 2.4 million runes in one range
    if method.startswith("lumotext"):
        import lumotext

        segment = getattr(lumotext.Segmenter(**data_paths), method.split()[1])
    else:
        segment = getattr(jieba, method)
    during, seconds, words = ticks_during(lambda: segment(sentence))
    assert len(words) == words_per_piece * 200_000
    # Holding the lock for the whole call would leave no tick inside it.
    assert during >= 3, f"{during} ticks during a call of {seconds:.3f} s"
