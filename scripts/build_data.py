#!/usr/bin/env python3
"""Builds the default Chinese data files of the package from pinned sources.

Reads the segmented corpus, the two word lists and the stop-word list from the
sources folder (checked against its SHA256SUMS first) and writes, into the
output folder, the main dictionary, the HMM model, the user dictionary, the
IDF table, the stop-word list and the attribution and licence files that the
sources require. Standard library only. Every output is sorted and uses fixed
number formatting, so running the script again reproduces the files byte for
byte.

    python3 scripts/build_data.py [--sources DIR] [--out DIR]
"""

from __future__ import annotations

import argparse
import collections
import dataclasses
import hashlib
import json
import math
import os
import sys
import unicodedata

REPO_ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFAULT_SOURCES = os.path.join(os.path.dirname(REPO_ROOT), "shared", "data-sources")
DEFAULT_OUT = os.path.join(REPO_ROOT, "python", "pylumotext_data", "data")

TRAIN = "segmented/zh_gsdsimp-ud-train.iob2"
CEDICT = "wordlists/cedict_ts.u8"
OCR_WORDS = "wordlists/chi_sim.wordlist.txt"
STOP_WORDS = "stopwords/stopwords-zh.json"

# File names of the five data files, keyed by the segmenter's argument names.
DATA_FILES = {
    "dict_path": "main_dict.txt",
    "hmm_path": "hmm_model.txt",
    "user_dict_path": "user_dict.txt",
    "idf_path": "idf.txt",
    "stop_word_path": "stop_words.txt",
}

IMPOSSIBLE = "-3.14e+100"
STATES = "BEMS"
# Transitions that a B/E/M/S labelling can take; every other one is impossible.
ALLOWED_TRANSITIONS = {"B": "EM", "E": "BS", "M": "EM", "S": "BS"}
ALLOWED_STARTS = "BS"
# Characters that the engine strips from model lines or splits emission items
# at; ASCII never reaches the model anyway (fixed rules cut it).
ASCII_LIMIT = 0x80

# Full-width and CJK punctuation that is always a word of its own, also when
# the train split never has it: listed in both dictionaries so that the HMM
# never glues it to a neighbour.
CJK_PUNCTUATION = ("、。〃〈〉《》「」『』【】〔〕〖〗〘〙〚〛〝〞〟・"
                   "！＂＃＄％＆＇（）＊＋，－．／：；＜＝＞？＠［＼］＾＿｀｛｜｝～"
                   "‘’“”…‥—–·•※§¶°℃")

_HAN_RANGES = ((0x3400, 0x4DBF), (0x4E00, 0x9FFF), (0xF900, 0xFAFF),
               (0x20000, 0x2FA1F), (0x30000, 0x323AF))


@dataclasses.dataclass(frozen=True)
class Settings:
    """The knobs of the build, tuned on the dev split only."""

    # Train-split counts are multiplied by this so that extra words can get a
    # frequency below one train occurrence while every frequency stays an integer.
    train_scale: int = 10
    # Frequency of a word-list headword that the train split does not have.
    extra_frequency: int = 2
    # Leave out a word-list headword that the train split writes as several words.
    drop_split_extras: bool = True
    # Longest word-list headword taken, in characters: longer headwords glue
    # words that the corpus keeps apart (measured on the dev split).
    max_extra_length: int = 2
    # A single character goes to the user dictionary when the train split has it
    # as a word at least this often and in at least this share of its occurrences.
    user_single_min_count: int = 5
    user_single_min_ratio: float = 0.2
    # Add-k smoothing of the HMM emission counts.
    emission_smoothing: float = 0.5


@dataclasses.dataclass
class Sentence:
    text: str
    words: list[str]
    entity_tags: list[str]


def is_han(text: str) -> bool:
    """True for a non-empty string of CJK ideographs only."""
    return bool(text) and all(any(lo <= ord(c) <= hi for lo, hi in _HAN_RANGES) for c in text)


def is_punctuation(char: str) -> bool:
    return unicodedata.category(char)[0] in "PS"


def has_ascii_alnum(word: str) -> bool:
    return any(c.isascii() and c.isalnum() for c in word)


# ---------------------------------------------------------------- sources

def verify_checksums(sources: str) -> None:
    """Raises SystemExit naming the first file whose SHA-256 differs or is missing."""
    with open(os.path.join(sources, "SHA256SUMS"), encoding="utf-8") as handle:
        for line in handle:
            if not line.strip():
                continue
            expected, name = line.split(maxsplit=1)
            path = os.path.join(sources, name.strip())
            try:
                with open(path, "rb") as data:
                    actual = hashlib.sha256(data.read()).hexdigest()
            except OSError as error:
                raise SystemExit(f"cannot read {path}: {error}") from error
            if actual != expected:
                raise SystemExit(f"checksum mismatch for {path}")


def read_segmented(path: str) -> list[Sentence]:
    """Sentences of a segmented file: raw text, words and their entity tags."""
    sentences: list[Sentence] = []
    text, words, tags = None, [], []
    with open(path, encoding="utf-8") as handle:
        for number, raw in enumerate(handle, 1):
            line = raw.rstrip("\n")
            if line.startswith("# text = "):
                text = line[len("# text = "):]
            elif line.startswith("#"):
                continue
            elif not line:
                if words:
                    sentences.append(Sentence(text if text is not None else "".join(words),
                                              words, tags))
                text, words, tags = None, [], []
            else:
                fields = line.split("\t")
                if len(fields) < 3 or not fields[1]:
                    raise SystemExit(f"{path}:{number}: malformed word line")
                words.append(fields[1])
                tags.append(fields[2])
    if words:
        sentences.append(Sentence(text if text is not None else "".join(words), words, tags))
    return sentences


def read_cedict(path: str) -> dict[str, str]:
    """Simplified all-Han headwords mapped to the first gloss of their first entry."""
    glosses: dict[str, str] = {}
    with open(path, encoding="utf-8") as handle:
        for line in handle:
            if line.startswith("#"):
                continue
            parts = line.split(" ", 2)
            if len(parts) < 3 or not is_han(parts[1]):
                continue
            gloss = parts[2].partition("/")[2].partition("/")[0]
            glosses.setdefault(parts[1], gloss)
    return glosses


def read_word_list(path: str) -> set[str]:
    with open(path, encoding="utf-8") as handle:
        return {line.strip() for line in handle if is_han(line.strip())}


def read_stop_words(path: str) -> list[str]:
    with open(path, encoding="utf-8") as handle:
        words = json.load(handle)
    return sorted({w for w in words if isinstance(w, str) and w and w == w.strip()
                   and "\n" not in w and "\r" not in w})


# ---------------------------------------------------------------- building

@dataclasses.dataclass
class DataSet:
    """The five data files as lists of lines (without line feeds)."""

    main_dict: list[str]
    hmm_model: list[str]
    user_dict: list[str]
    idf: list[str]
    stop_words: list[str]

    def files(self) -> dict[str, list[str]]:
        return {DATA_FILES["dict_path"]: self.main_dict, DATA_FILES["hmm_path"]: self.hmm_model,
                DATA_FILES["user_dict_path"]: self.user_dict, DATA_FILES["idf_path"]: self.idf,
                DATA_FILES["stop_word_path"]: self.stop_words}


def word_tag(word: str, entity: str | None, gloss: str | None) -> str:
    """A rough part-of-speech tag; nothing reachable from Python reads it."""
    if all(is_punctuation(c) for c in word):
        return "x"
    if entity:
        return {"PER": "nr", "LOC": "ns", "ORG": "nt"}.get(entity, "nz")
    if all(c.isnumeric() for c in word):
        return "m"
    if gloss and gloss.startswith("to "):
        return "v"
    if gloss and gloss.startswith(("(particle)", "(prep.)", "(conj.)")):
        return "u"
    return "n"


def split_attested(sentences: list[Sentence], candidates: set[str], max_length: int) -> set[str]:
    """Candidates that occur in the train text as a run of two or more train words."""
    found: set[str] = set()
    for sentence in sentences:
        bounds = [0]
        for word in sentence.words:
            bounds.append(bounds[-1] + len(word))
        text = "".join(sentence.words)
        for i, start in enumerate(bounds[:-1]):
            for j in range(i + 2, len(bounds)):
                if bounds[j] - start > max_length:
                    break
                piece = text[start:bounds[j]]
                if piece in candidates:
                    found.add(piece)
    return found


def build_main_dictionary(sentences: list[Sentence], glosses: dict[str, str],
                          ocr_words: set[str], settings: Settings) -> dict[str, tuple[int, str]]:
    """Word -> (frequency, tag): train counts plus low-frequency word-list headwords."""
    counts: collections.Counter[str] = collections.Counter()
    entities: dict[str, collections.Counter[str]] = collections.defaultdict(collections.Counter)
    for sentence in sentences:
        for word, tag in zip(sentence.words, sentence.entity_tags):
            if has_ascii_alnum(word) or any(c.isspace() for c in word):
                continue  # ASCII words and numbers are left to the segmenter's fixed rules
            counts[word] += 1
            entities[word][tag.partition("-")[2] or "O"] += 1
    extras = {w for w in set(glosses) | ocr_words
              if w not in counts and len(w) <= settings.max_extra_length}
    if settings.drop_split_extras:
        extras -= split_attested(sentences, extras, settings.max_extra_length)
    entries: dict[str, tuple[int, str]] = {}
    for word, count in counts.items():
        entity = entities[word].most_common(1)[0][0]
        entries[word] = (count * settings.train_scale,
                         word_tag(word, None if entity == "O" else entity, glosses.get(word)))
    for word in extras:
        entries[word] = (settings.extra_frequency, word_tag(word, None, glosses.get(word)))
    for char in CJK_PUNCTUATION:
        entries.setdefault(char, (settings.extra_frequency, "x"))
    return entries


def build_user_dictionary(sentences: list[Sentence], main: dict[str, tuple[int, str]],
                          settings: Settings) -> list[str]:
    """Single characters that must stay words of their own, with their main frequency."""
    as_word: collections.Counter[str] = collections.Counter()
    occurrences: collections.Counter[str] = collections.Counter()
    for sentence in sentences:
        occurrences.update("".join(sentence.words))
        as_word.update(w for w in sentence.words if len(w) == 1)
    chosen = {w for w in main if len(w) == 1 and ord(w) >= ASCII_LIMIT and is_punctuation(w)}
    for char, count in as_word.items():
        if char in main and ord(char) >= ASCII_LIMIT and count >= settings.user_single_min_count \
                and count >= settings.user_single_min_ratio * occurrences[char]:
            chosen.add(char)
    return [f"{c} {main[c][0]} {main[c][1]}" for c in sorted(chosen)]


def _log_ratio(count: float, total: float) -> str:
    return f"{math.log(count / total):.6f}"


def build_hmm_model(sentences: list[Sentence], settings: Settings) -> list[str]:
    """Start, transition and emission log probabilities counted from the train split."""
    starts: collections.Counter[str] = collections.Counter()
    transitions: collections.Counter[tuple[str, str]] = collections.Counter()
    emissions: dict[str, collections.Counter[str]] = {s: collections.Counter() for s in STATES}
    for sentence in sentences:
        labels: list[tuple[str, str]] = []
        for word in sentence.words:
            states = "S" if len(word) == 1 else "B" + "M" * (len(word) - 2) + "E"
            labels.extend(zip(states, word))
        starts[labels[0][0]] += 1
        for (previous, _), (state, _) in zip(labels, labels[1:]):
            transitions[previous, state] += 1
        for state, char in labels:
            if ord(char) >= ASCII_LIMIT and not char.isspace():
                emissions[state][char] += 1
    lines = ["# HMM model of the default data: states B (word begin), E (word end),",
             "# M (word middle), S (single-character word); natural-log probabilities.",
             "# start: B E M S"]
    start_total = sum(starts[s] + 1 for s in ALLOWED_STARTS)
    lines.append(" ".join(_log_ratio(starts[s] + 1, start_total) if s in ALLOWED_STARTS
                          else IMPOSSIBLE for s in STATES))
    lines.append("# transitions: one row per previous state B E M S, columns B E M S")
    for previous in STATES:
        allowed = ALLOWED_TRANSITIONS[previous]
        total = sum(transitions[previous, s] + 1 for s in allowed)
        lines.append(" ".join(_log_ratio(transitions[previous, s] + 1, total) if s in allowed
                              else IMPOSSIBLE for s in STATES))
    vocabulary = sorted(set().union(*emissions.values()))
    k = settings.emission_smoothing
    for state in STATES:
        lines.append(f"# emissions of state {state}")
        total = sum(emissions[state].values()) + k * len(vocabulary)
        lines.append(",".join(f"{c}:{_log_ratio(emissions[state][c] + k, total)}"
                              for c in vocabulary))
    return lines


def build_idf(sentences: list[Sentence]) -> list[str]:
    """Inverse document frequency ln(N / df) of every train word, a sentence a document."""
    frequency: collections.Counter[str] = collections.Counter()
    for sentence in sentences:
        frequency.update(set(sentence.words))
    documents = len(sentences)
    return [f"{w} {math.log(documents / df):.6f}" for w, df in sorted(frequency.items())
            if " " not in w]


def build(sources: str, settings: Settings = Settings()) -> DataSet:
    """All five data files from the sources folder (checksums are checked first)."""
    verify_checksums(sources)
    sentences = read_segmented(os.path.join(sources, TRAIN))
    glosses = read_cedict(os.path.join(sources, CEDICT))
    ocr_words = read_word_list(os.path.join(sources, OCR_WORDS))
    main = build_main_dictionary(sentences, glosses, ocr_words, settings)
    return DataSet(
        main_dict=[f"{w} {f} {t}" for w, (f, t) in sorted(main.items())],
        hmm_model=build_hmm_model(sentences, settings),
        user_dict=build_user_dictionary(sentences, main, settings),
        idf=build_idf(sentences),
        stop_words=read_stop_words(os.path.join(sources, STOP_WORDS)),
    )


# ---------------------------------------------------------------- licences

ATTRIBUTION = """\
Default Chinese data of pylumotext
==================================

The files main_dict.txt, hmm_model.txt, user_dict.txt and idf.txt in this
folder are derived from the sources below by scripts/build_data.py. They are
licensed under the Creative Commons Attribution-ShareAlike 4.0 International
licence (CC BY-SA 4.0, see LICENSE-CC-BY-SA-4.0.txt), separately from the code
of pylumotext (Apache-2.0). stop_words.txt is derived from an MIT-licensed
list (LICENSE-MIT-stopwords.txt).

Changes made: word counts, HMM state statistics, document frequencies and
single-character lists were computed from the segmented corpus; all-Han
headwords of the two word lists were added as low-frequency words; the
stop-word array was written one word per line.

Sources
-------

* Segmented corpus (word counts, HMM model, user dictionary, IDF table):
  Universal NER, UNER_Chinese-GSDSIMP at commit 1f03075 (Mayhew et al.,
  NAACL 2024), train split zh_gsdsimp-ud-train.iob2, whose segmentation is
  that of Universal Dependencies UD_Chinese-GSDSimp (Qi Peng, Koichi
  Yasuoka; Google's GSD annotation). Licence: CC BY-SA 4.0.

* CC-CEDICT of 2026-09-10, published by MDBG (https://cc-cedict.org/wiki/);
  CEDICT (C) 1997, 1998 Paul Andrew Denisowski. Simplified headwords made of
  Han characters only. Licence: CC BY-SA 4.0.

* Tesseract chi_sim LSTM word list, from the Debian package
  tesseract-ocr-chi-sim 1:4.1.0-2 (extracted with combine_tessdata and
  dawg2wordlist). Words made of Han characters only. Licence: Apache-2.0
  (LICENSE-Apache-2.0.txt).

* stopwords-zh 0.4.0 (npm package), Copyright (c) 2016 Gene Diaz.
  Licence: MIT (LICENSE-MIT-stopwords.txt).
"""

CC_BY_SA_NOTICE = """\
The data files main_dict.txt, hmm_model.txt, user_dict.txt and idf.txt are
licensed under the Creative Commons Attribution-ShareAlike 4.0 International
License (CC BY-SA 4.0).

You are free to share (copy and redistribute the material in any medium or
format) and adapt (remix, transform, and build upon the material) for any
purpose, even commercially, under the following terms:

* Attribution: you must give appropriate credit (see ATTRIBUTION.txt),
  provide a link to the license, and indicate if changes were made.
* ShareAlike: if you remix, transform, or build upon the material, you must
  distribute your contributions under the same license as the original.
* No additional restrictions: you may not apply legal terms or technological
  measures that legally restrict others from doing anything the license
  permits.

The full legal code is available at:
https://creativecommons.org/licenses/by-sa/4.0/legalcode
"""


def licence_files(sources: str) -> dict[str, str]:
    """The attribution and licence texts that ship beside the data."""
    with open(os.path.join(sources, "stopwords", "LICENSE"), encoding="utf-8") as handle:
        mit = handle.read()
    with open(os.path.join(REPO_ROOT, "LICENSE"), encoding="utf-8") as handle:
        apache = handle.read()
    return {"ATTRIBUTION.txt": ATTRIBUTION, "LICENSE-CC-BY-SA-4.0.txt": CC_BY_SA_NOTICE,
            "LICENSE-Apache-2.0.txt": apache, "LICENSE-MIT-stopwords.txt": mit}


def write_outputs(data: DataSet, licences: dict[str, str], out: str) -> None:
    os.makedirs(out, exist_ok=True)
    contents = {name: "".join(line + "\n" for line in lines)
                for name, lines in data.files().items()}
    contents.update(licences)
    for name, text in sorted(contents.items()):
        with open(os.path.join(out, name), "w", encoding="utf-8", newline="\n") as handle:
            handle.write(text)


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--sources", default=DEFAULT_SOURCES, help="pinned sources folder")
    parser.add_argument("--out", default=DEFAULT_OUT, help="folder to write the data files to")
    args = parser.parse_args(argv)
    data = build(args.sources)
    write_outputs(data, licence_files(args.sources), args.out)
    print(f"wrote {len(data.main_dict)} dictionary words, {len(data.user_dict)} user words, "
          f"{len(data.idf)} idf words, {len(data.stop_words)} stop words to {args.out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
