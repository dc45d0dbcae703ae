#!/usr/bin/env python3
"""Segmentation errors on the dev files, by category.

Every place where the cut and the reference disagree (a stretch between two
boundaries that both share, which is not one word in both) is an error. It
is classed, first match wins:

  convention   the other corpus writes the same string the other way: a word
               that the reference here keeps whole is written as several words
               there, or a string that the reference here splits is one word
               there (the two annotations disagree; no data choice pleases both)
  oov-*        a reference word of the stretch is not in the dictionary:
               number (digits, Chinese numerals with units, times, dates,
               percentages), latin (Latin letters mixed with Chinese),
               punctuation, name (an entity of the train corpus) or han (other
               unknown Han words: names, transliterations, Cantonese words)
  hmm-glue     every reference word is known, but the HMM joined single
               characters into a word the dictionary lacks
  choice       every reference word is known and the dictionary path chose
               other known words (a frequency problem)

For each category the script prints the number of stretches, the reference
words they miss, and the F1 that the file would reach if the cut were right in
those stretches; with --examples N it prints the N commonest stretches of each.

    python3 scripts/error_analysis.py [FILE ...] [--data DIR] [--examples N]

The train corpus's dev split is compared against its train split and the
Hong Kong split; a Hong Kong file against the train corpus (the traditional
file through its simplified twin, which has the same word boundaries).
"""

from __future__ import annotations

import argparse
import collections
import dataclasses
import os
import sys

SCRIPTS = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, SCRIPTS)

import build_data  # noqa: E402
import evaluate  # noqa: E402

SEGMENTED = os.path.join(build_data.DEFAULT_SOURCES, "segmented")
TRAIN_CORPUS = [os.path.join(build_data.DEFAULT_SOURCES, build_data.TRAIN),
                os.path.join(SEGMENTED, "zh_gsdsimp-ud-dev.iob2")]
HK_SIMPLIFIED = os.path.join(SEGMENTED, "zh_hk-ud-dev.simp.conllu")
# Longest string whose writing as several words is remembered.
MAX_SPLIT_LENGTH = 8
CATEGORIES = ("convention", "oov-number", "oov-latin", "oov-punctuation", "oov-name",
              "oov-han", "hmm-glue", "choice")
NUMBER_CHARACTERS = set("0123456789０１２３４５６７８９〇零一二三四五六七八九十百千万亿两点.．,，%％:：")
NUMBER_AFFIXES = "第年月日时分秒号點時號萬億兩"


@dataclasses.dataclass
class Conventions:
    """How one corpus writes strings: as one word, or as several words."""

    whole: set[str] = dataclasses.field(default_factory=set)
    split: set[str] = dataclasses.field(default_factory=set)

    def add(self, words: list[str]) -> None:
        self.whole.update(words)
        for first in range(len(words)):
            text = words[first]
            for word in words[first + 1:]:
                text += word
                if len(text) > MAX_SPLIT_LENGTH:
                    break
                self.split.add(text)


def conventions_of(paths: list[str]) -> Conventions:
    found = Conventions()
    for path in paths:
        for sentence in build_data.read_segmented(path):
            found.add(sentence.words)
    return found


@dataclasses.dataclass
class Stretch:
    text: str
    reference: list[str]
    predicted: list[str]
    entity: bool  # a reference word of the stretch is tagged as an entity
    start: int = 0  # character offset in the sentence without white space


def squeezed(words: list[str]) -> list[str]:
    """The words without white space; words that were only white space are dropped."""
    return [w for w in ("".join(c for c in word if not c.isspace()) for word in words) if w]


def stretches(sentence: build_data.Sentence, predicted: list[str]) -> list[Stretch]:
    """The disagreeing stretches of one sentence (white space removed)."""
    tags = [t != "O" for t, w in zip(sentence.entity_tags, sentence.words) if squeezed([w])]
    gold = squeezed(sentence.words)
    guess = squeezed(predicted)
    found: list[Stretch] = []
    gi = pi = gold_end = guess_end = 0
    start_g = start_p = start = 0
    while gi < len(gold) or pi < len(guess):
        if gold_end <= guess_end and gi < len(gold):
            gold_end += len(gold[gi])
            gi += 1
        else:
            guess_end += len(guess[pi])
            pi += 1
        if gold_end == guess_end:
            if gi - start_g != 1 or pi - start_p != 1:
                words = gold[start_g:gi]
                found.append(Stretch("".join(words), words, guess[start_p:pi],
                                     any(tags[start_g:gi]), start))
            start_g, start_p, start = gi, pi, gold_end
    return found


def classify(stretch: Stretch, here: Conventions, other: Conventions,
             dictionary: set[str]) -> str:
    missed = [w for w in stretch.reference if w not in stretch.predicted]
    wrong = [w for w in stretch.predicted if w not in stretch.reference]
    if any(len(w) > 1 and w in other.split for w in missed) or \
            any(len(w) > 1 and w in other.whole and w in here.split for w in wrong):
        return "convention"
    unknown = [w for w in missed if w not in dictionary]
    if unknown:
        word = unknown[0]
        if is_number(word):
            return "oov-number"
        if any(build_data.is_punctuation(c) for c in word) and not build_data.has_ascii_alnum(word):
            return "oov-punctuation"
        if any(c.isascii() and c.isalpha() for c in word):
            return "oov-latin"
        return "oov-name" if stretch.entity else "oov-han"
    if any(len(w) > 1 and w not in dictionary for w in wrong):
        return "hmm-glue"
    return "choice"


def is_number(word: str) -> bool:
    """True for numbers, ordinals, dates, times and percentages, in digits or numerals."""
    body = word.strip(NUMBER_AFFIXES)
    return bool(body) and all(c in NUMBER_CHARACTERS or c in NUMBER_AFFIXES for c in body)


def read_dictionary(path: str) -> set[str]:
    with open(path, encoding="utf-8") as handle:
        return {line.split(" ", 1)[0] for line in handle}


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("files", nargs="*", default=evaluate.DEV_FILES)
    parser.add_argument("--data", help="folder with the five data files (default: installed)")
    parser.add_argument("--examples", type=int, default=0, help="stretches shown per category")
    args = parser.parse_args(argv)
    import pylumotext
    paths = evaluate.data_paths(args.data)
    segmenter = pylumotext.Jieba(**paths)
    dictionary = read_dictionary(paths["dict_path"])
    train_corpus = conventions_of(TRAIN_CORPUS)
    hong_kong = conventions_of([HK_SIMPLIFIED])
    for path in args.files:
        sentences = build_data.read_segmented(path)
        is_train = "gsd" in os.path.basename(path)
        twin = sentences
        if path.endswith(".trad.conllu"):
            twin = build_data.read_segmented(path.replace(".trad.", ".simp."))
        here, other = (train_corpus, hong_kong) if is_train else (hong_kong, train_corpus)
        total = evaluate.Score()
        by_category = {c: evaluate.Score() for c in CATEGORIES}
        counts = collections.Counter()
        examples: dict[str, collections.Counter[str]] = collections.defaultdict(collections.Counter)
        for sentence, simplified in zip(sentences, twin):
            predicted = segmenter.cut(sentence.text)
            total.add(sentence.words, predicted)
            fixed: dict[str, list[Stretch]] = {c: [] for c in CATEGORIES}
            for stretch in stretches(sentence, predicted):
                probe = stretch
                if simplified is not sentence:
                    probe = _simplified_stretch(stretch, sentence, simplified) or stretch
                category = classify(probe, here, other, dictionary)
                counts[category] += 1
                fixed[category].append(stretch)
                examples[category][f"{'/'.join(stretch.reference)} -> "
                                   f"{'/'.join(stretch.predicted)}"] += 1
            for category in CATEGORIES:
                by_category[category].add(sentence.words,
                                          _corrected(predicted, fixed[category]))
        print(f"{os.path.basename(path)}: F1 {total.f1:.4f}, "
              f"{total.reference_words - total.correct_words} reference words missed")
        print(f"  {'category':<16} {'stretches':>9} {'missed':>7} {'F1 if right':>11}")
        for category in CATEGORIES:
            missed = by_category[category].correct_words - total.correct_words
            print(f"  {category:<16} {counts[category]:>9} {missed:>7} "
                  f"{by_category[category].f1:>11.4f}")
            for text, count in examples[category].most_common(args.examples):
                print(f"      {count:>3}  {text}")
    return 0


def _simplified_stretch(stretch: Stretch, sentence: build_data.Sentence,
                        simplified: build_data.Sentence) -> Stretch | None:
    """The stretch of a traditional sentence in its simplified twin, character for
    character (the twin has the same boundaries), or None when the texts differ
    in length."""
    text = "".join(squeezed([sentence.text]))
    twin = "".join(squeezed([simplified.text]))
    if len(text) != len(twin):
        return None

    def convert(words: list[str]) -> list[str]:
        converted, position = [], stretch.start
        for word in words:
            converted.append(twin[position:position + len(word)])
            position += len(word)
        return converted

    return Stretch(twin[stretch.start:stretch.start + len(stretch.text)],
                   convert(stretch.reference), convert(stretch.predicted), stretch.entity,
                   stretch.start)


def _corrected(predicted: list[str], right: list[Stretch]) -> list[str]:
    """The predicted words with the given stretches replaced by the reference words."""
    guess = squeezed(predicted)
    out: list[str] = []
    position = 0
    spans = [(s.start, s.start + len(s.text), s.reference) for s in right]
    pieces = iter(spans)
    span = next(pieces, None)
    for word in guess:
        if span and span[0] <= position < span[1]:
            if position == span[0]:
                out.extend(span[2])
            position += len(word)
            if position >= span[1]:
                span = next(pieces, None)
            continue
        out.append(word)
        position += len(word)
    return out


if __name__ == "__main__":
    sys.exit(main())
