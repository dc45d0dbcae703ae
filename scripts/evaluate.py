#!/usr/bin/env python3
"""Word-level precision, recall and F1 of `Jieba.cut` on segmented files.

Reads segmented files in the corpus format (the "# text = " line holds the
raw sentence, then one line per word) or in CoNLL-U, segments every raw
sentence and compares the words with the reference: a word is correct when
both its start and its end match a reference word. Positions are counted over
the sentence without white space, since the reference has no words for the
spaces. Prints one row per file.

    python3 scripts/evaluate.py [FILE ...] [--data DIR] [--reference]

Without files, the dev splits of the pinned sources are scored (the train
corpus's dev split and the Hong Kong split in both scripts). By default the
installed default data (pylumotext_data) and the native segmenter are used;
--data takes the five files from a folder written by scripts/build_data.py,
and --reference runs the pure-Python reference segmenter that the tests use as
their oracle (tests/python/reference_segmenter.py).
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

DEV_FILES = [os.path.join(build_data.DEFAULT_SOURCES, "segmented", name)
             for name in ("zh_gsdsimp-ud-dev.iob2", "zh_hk-ud-dev.simp.conllu",
                          "zh_hk-ud-dev.trad.conllu")]


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


def score_row(name: str, sentences: int, score: Score) -> str:
    return (f"{name:<32} {sentences:>9} {score.reference_words:>9} {score.predicted_words:>9} "
            f"{score.correct_words:>9} {score.precision:.4f} {score.recall:.4f} {score.f1:.4f}")


SCORE_HEADER = (f"{'file':<32} {'sentences':>9} {'reference':>9} {'predicted':>9} "
                f"{'correct':>9} {'P':<6} {'R':<6} {'F1':<6}")


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("files", nargs="*", default=DEV_FILES,
                        help="segmented files, corpus format or CoNLL-U (default: the dev splits)")
    parser.add_argument("--data", help="folder with the five data files (default: installed)")
    parser.add_argument("--reference", action="store_true",
                        help="use the pure-Python reference segmenter")
    args = parser.parse_args(argv)
    paths = data_paths(args.data)
    if args.reference:
        sys.path.insert(0, os.path.join(os.path.dirname(SCRIPTS), "tests", "python"))
        from reference_segmenter import ReferenceSegmenter
        segmenter: Segmenter = ReferenceSegmenter(**paths)
    else:
        import pylumotext
        segmenter = pylumotext.Jieba(**paths)
    with open(paths["dict_path"], encoding="utf-8") as handle:
        dictionary_words = sum(1 for _ in handle)
    print(f"data: {os.path.dirname(paths['dict_path'])}, dictionary words: {dictionary_words}")
    print(SCORE_HEADER)
    for path in args.files:
        sentences = build_data.read_segmented(path)
        print(score_row(os.path.basename(path), len(sentences), evaluate(segmenter, sentences)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
