#!/usr/bin/env python3
"""Word-level precision, recall and F1 of `Jieba.cut` on a segmented file.

Reads a segmented file in the corpus format (the "# text = " line holds the
raw sentence, then one line per word), segments every raw sentence and
compares the words with the reference: a word is correct when both its start
and its end match a reference word. Positions are counted over the sentence
without white space, since the reference has no words for the spaces.

    python3 scripts/evaluate.py [FILE] [--data DIR] [--reference]

By default the installed default data (pylumotext_data) and the native
segmenter are used; --data takes the five files from a folder written by
scripts/build_data.py, and --reference runs scripts/reference_segmenter.py.
"""

from __future__ import annotations

import argparse
import dataclasses
import os
import sys
from typing import Iterable, Protocol

SCRIPTS = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, SCRIPTS)

import build_data  # noqa: E402

DEFAULT_FILE = os.path.join(build_data.DEFAULT_SOURCES, "segmented", "zh_gsdsimp-ud-dev.iob2")


class Segmenter(Protocol):
    def cut(self, sentence: str) -> list[str]: ...


@dataclasses.dataclass
class Score:
    reference_words: int = 0
    predicted_words: int = 0
    correct_words: int = 0

    def add(self, reference: Iterable[str], predicted: Iterable[str]) -> None:
        gold, guess = word_spans(reference), word_spans(predicted)
        self.reference_words += len(gold)
        self.predicted_words += len(guess)
        self.correct_words += len(gold & guess)

    @property
    def precision(self) -> float:
        return self.correct_words / self.predicted_words if self.predicted_words else 0.0

    @property
    def recall(self) -> float:
        return self.correct_words / self.reference_words if self.reference_words else 0.0

    @property
    def f1(self) -> float:
        total = self.precision + self.recall
        return 2 * self.precision * self.recall / total if total else 0.0


def word_spans(words: Iterable[str]) -> set[tuple[int, int]]:
    """(start, end) of each word over the text with white space removed.

    White space inside or between words is skipped, so words made only of white
    space (the separators that the segmenter returns) take no span.
    """
    spans = set()
    position = 0
    for word in words:
        length = sum(1 for c in word if not c.isspace())
        if length:
            spans.add((position, position + length))
            position += length
    return spans


def evaluate(segmenter: Segmenter, sentences: list[build_data.Sentence]) -> Score:
    """Scores the segmenter's cut of every raw sentence against its reference words."""
    score = Score()
    for sentence in sentences:
        predicted = segmenter.cut(sentence.text)
        if "".join(predicted) != sentence.text:
            raise RuntimeError(f"the words do not join back to the sentence: {sentence.text}")
        score.add(sentence.words, predicted)
    return score


def data_paths(folder: str | None) -> dict[str, str]:
    if folder is None:
        import pylumotext_data
        return pylumotext_data.paths()
    return {key: os.path.join(folder, name) for key, name in build_data.DATA_FILES.items()}


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("file", nargs="?", default=DEFAULT_FILE, help="segmented file")
    parser.add_argument("--data", help="folder with the five data files (default: installed)")
    parser.add_argument("--reference", action="store_true",
                        help="use the pure-Python reference segmenter")
    args = parser.parse_args(argv)
    paths = data_paths(args.data)
    if args.reference:
        from reference_segmenter import ReferenceSegmenter
        segmenter: Segmenter = ReferenceSegmenter(**paths)
    else:
        import pylumotext
        segmenter = pylumotext.Jieba(**paths)
    sentences = build_data.read_segmented(args.file)
    score = evaluate(segmenter, sentences)
    with open(paths["dict_path"], encoding="utf-8") as handle:
        dictionary_words = sum(1 for _ in handle)
    print(f"file: {args.file}")
    print(f"sentences: {len(sentences)}, dictionary words: {dictionary_words}")
    print(f"reference words: {score.reference_words}, predicted words: {score.predicted_words}, "
          f"correct: {score.correct_words}")
    print(f"P {score.precision:.4f}  R {score.recall:.4f}  F1 {score.f1:.4f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
