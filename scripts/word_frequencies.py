"""Word frequencies estimated over raw, unsegmented text by expectation-maximisation.

The model is a unigram word model: a text is a sequence of words drawn
independently, each with its probability. The probability of a word is its
fixed count (hand-segmented occurrences plus a prior) plus its expected count
in the raw text, normalised over the vocabulary; the expected counts come from
the forward-backward pass over every segmentation of each raw text run into
vocabulary words. A few iterations settle how often each listed word stands
as a word of its own in the raw text: a string that mostly occurs inside
longer or across other words gets little, one that occurs on its own gets its
share. Standard library only; deterministic (sorted iteration everywhere).
"""

from __future__ import annotations

import collections
import re

# Longest raw run decoded as one piece: longer runs are cut, which keeps the
# products of probabilities of one run far above the smallest double.
MAX_RUN = 32
# Fixed count of a character that no source lists, so that every run has a path.
UNLISTED_CHAR_COUNT = 0.01

_HAN_RUN = re.compile("[\u3400-\u4dbf\u4e00-\u9fff\uf900-\ufaff]+")


def han_runs(texts: list[str]) -> collections.Counter[str]:
    """Maximal runs of Han characters of the texts, cut at MAX_RUN, with their counts."""
    runs: collections.Counter[str] = collections.Counter()
    for text in texts:
        for run in _HAN_RUN.findall(text):
            for start in range(0, len(run), MAX_RUN):
                runs[run[start:start + MAX_RUN]] += 1
    return runs


class RawTextModel:
    """The lattices of the raw runs over a fixed vocabulary, ready for EM.

    `fixed` maps every listed word to its fixed count (at least one Han
    character each); characters of the runs that it lacks get
    UNLISTED_CHAR_COUNT.
    """

    def __init__(self, runs: collections.Counter[str], fixed: dict[str, float],
                 max_length: int) -> None:
        self.words = sorted(set(fixed) | {c for run in runs for c in run})
        ids = {word: i for i, word in enumerate(self.words)}
        self.fixed = [fixed.get(word, UNLISTED_CHAR_COUNT) for word in self.words]
        lengths = range(2, max_length + 1)
        # Per run: its count and its edges (start, end, word id), sorted by start
        # (and by end among edges of one start).
        self.lattices: list[tuple[int, list[tuple[int, int, int]]]] = []
        for run, count in sorted(runs.items()):
            edges = [(i, i + 1, ids[c]) for i, c in enumerate(run)]
            for length in lengths:
                pieces = [run[i:i + length] for i in range(len(run) - length + 1)]
                edges += [(i, i + length, ids[p]) for i, p in enumerate(pieces) if p in ids]
            edges.sort()
            self.lattices.append((count, edges))

    def expected_counts(self, probabilities: list[float]) -> list[float]:
        """Expected number of times each word stands as a word in the runs."""
        counts = [0.0] * len(self.words)
        for multiplicity, edges in self.lattices:
            size = edges[-1][0] + 1
            forward = [0.0] * (size + 1)
            forward[0] = 1.0
            for start, end, word in edges:
                forward[end] += forward[start] * probabilities[word]
            backward = [0.0] * (size + 1)
            backward[size] = 1.0
            for start, end, word in reversed(edges):
                backward[start] += probabilities[word] * backward[end]
            scale = multiplicity / forward[size]
            for start, end, word in edges:
                counts[word] += forward[start] * probabilities[word] * backward[end] * scale
        return counts

    def estimate(self, iterations: int, raw_weight: float) -> dict[str, float]:
        """Expected raw counts after the given number of EM iterations.

        Each M-step sets a word's probability to fixed + w * expected, where w
        makes the raw text weigh raw_weight times the total fixed count.
        """
        fixed_total = sum(self.fixed)
        probabilities = [count / fixed_total for count in self.fixed]
        counts = [0.0] * len(self.words)
        for _ in range(iterations):
            counts = self.expected_counts(probabilities)
            raw_total = sum(counts)
            weight = raw_weight * fixed_total / raw_total if raw_total else 0.0
            mixed = [f + weight * c for f, c in zip(self.fixed, counts)]
            total = sum(mixed)
            probabilities = [m / total for m in mixed]
        raw_total = sum(counts)
        weight = raw_weight * fixed_total / raw_total if raw_total else 0.0
        return {word: weight * count for word, count in zip(self.words, counts) if count > 0}
