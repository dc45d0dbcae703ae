#!/usr/bin/env python3
"""Builds the default Chinese data files of the package from pinned sources.

Reads the segmented corpus, the word lists, the conversion tables and the
stop-word list from the sources folder (checked against its SHA256SUMS first),
plus counts from the raw benchmark text, and writes, into the output folder,
the main dictionary, the HMM model, the user dictionary, the IDF table, the
stop-word list and the attribution and licence files that the sources
require. Headwords that the segmented corpus lacks get frequencies estimated
from their frequency ranks and by EM over the raw text (word_frequencies.py);
every word and character also gets its traditional spellings
(traditional.py). Standard library only. Every output is sorted and uses
fixed number formatting, so running the script again reproduces the files
byte for byte.

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
import re
import sys
import unicodedata

import traditional
import word_frequencies

REPO_ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFAULT_SOURCES = os.path.join(os.path.dirname(REPO_ROOT), "shared", "data-sources")
DEFAULT_OUT = os.path.join(REPO_ROOT, "python", "pylumotext_data", "data")

TRAIN = "segmented/zh_gsdsimp-ud-train.iob2"
CEDICT = "wordlists/cedict_ts.u8"
OCR_WORDS = "wordlists/chi_sim.wordlist.txt"
HSK = "wordlists/hsk/complete.min.json"
OPENCC = "wordlists/opencc"
BENCH_TEXT = "bench-text"
STOP_WORDS = "stopwords/stopwords-zh.json"

# File names of the five data files, keyed by the segmenter's argument names.
DATA_FILES = {
    "dict_path": "main_dict.txt",
    "hmm_path": "hmm_model.txt",
    "user_dict_path": "user_dict.txt",
    "idf_path": "idf.txt",
    "stop_word_path": "stop_words.txt",
}

# Rank of a proficiency-test word that the list gives no frequency rank.
UNRANKED = 1_000_000
# Column count of a CoNLL-U word line.
CONLLU_COLUMNS = 10

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
                   "‘’“”…‥—–·•※§¶°℃⋯─")
# Doubled marks that written Chinese uses as one mark (ellipsis and dash).
DOUBLED_PUNCTUATION = ("……", "——", "⋯⋯", "──")

_HAN_RANGES = ((0x3400, 0x4DBF), (0x4E00, 0x9FFF), (0xF900, 0xFAFF),
               (0x20000, 0x2FA1F), (0x30000, 0x323AF))


@dataclasses.dataclass(frozen=True)
class Settings:
    """The knobs of the build, tuned on both dev splits together."""

    # Train-split counts are multiplied by this so that extra words can get a
    # frequency below one train occurrence while every frequency stays an integer.
    train_scale: int = 100
    # Longest word-list headword taken, in characters.
    max_extra_length: int = 8
    # Prior counts (in train occurrences) of word-list headwords that the train
    # split does not have: a word that two or more lists have, an idiom, and a
    # proficiency-test word (this weight times the count that its frequency rank
    # predicts). A word that one list alone has is less sure to be a word (many
    # are phrases that one list took in, such as 我去) and gets less, very little
    # from three characters on.
    extra_prior: float = 0.2
    single_source_prior: float = 0.05
    long_prior: float = 0.002  # one list only, three or more characters
    # One-name proper nouns of three or more characters (transliterations such as
    # 斯德哥尔摩; not a listed word plus a character, such as 北京市) get at least this.
    proper_prior: float = 0.02
    idiom_prior: float = 1.0
    ranked_prior_weight: float = 1.0
    # Weight of the raw text against the train counts in the EM estimate (the
    # raw text's expected counts add up to this share of the fixed counts). Low:
    # the raw text is technical documentation, whose word use is far from both
    # everyday and encyclopaedia text.
    raw_weight: float = 0.01
    em_iterations: int = 2
    # A headword that the train text holds k times, never as one word, keeps
    # split_evidence / (split_evidence + k) of its estimated count.
    split_evidence: float = 0.01
    # Headwords of at least this many characters (names of states and
    # institutions) are not scaled down, though the train split writes their parts.
    split_exempt_length: int = 5
    # A proficiency-test word that the train split has counts at least this
    # weight times the count its frequency rank predicts. The train split is
    # encyclopaedia text, which rarely uses everyday words (你, 走, 坐, 好, 还是);
    # the ranks say how common they are in general text.
    rank_floor_weight: float = 3.0
    # Everyday words: proficiency-test words of at least this many characters and
    # at most this test level that the train split never writes as one word keep
    # the count their rank predicts, unscaled by split writing (the train split's
    # writing of 为/什么 is one annotation convention; users and most genres
    # treat 为什么 as a word).
    everyday_min_length: int = 3
    everyday_max_level: int = 2
    # A train word that the train text holds as a string more than this many
    # times per occurrence as a word (split into other words otherwise) is left
    # out: it would glue words that the train split keeps apart.
    split_majority: float = 1.0
    # A single character goes to the user dictionary when the train split has it
    # as a word at least this often and in at least this share of its occurrences.
    user_single_min_count: int = 5
    user_single_min_ratio: float = 0.2
    # So does a one-character proficiency-test word of at most this frequency
    # rank that the train split has as a word at least once (0: none).
    user_single_max_rank: int = 500
    # Prior count of the Chinese numerals (ten to ninety-nine, the round hundreds
    # and their ordinals) that the train split does not have.
    numeral_prior: float = 0.2
    # Add-k smoothing of the HMM emission counts.
    emission_smoothing: float = 0.5
    # Counts of the HMM's word starts (start and transitions into B) are
    # multiplied by this: below one, unknown stretches break into single
    # characters more readily instead of gluing them into words.
    word_start_scale: float = 0.25


@dataclasses.dataclass
class Sentence:
    text: str
    words: list[str]
    entity_tags: list[str]


_HAN_TEXT = re.compile("[" + "".join(f"{chr(lo)}-{chr(hi)}" for lo, hi in _HAN_RANGES) + "]+")


def is_han(text: str) -> bool:
    """True for a non-empty string of CJK ideographs only."""
    return _HAN_TEXT.fullmatch(text) is not None


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
    """Sentences of a segmented file: raw text, words and their entity tags.

    Reads both the corpus format (index, word, entity tag, two dashes) and
    CoNLL-U (ten columns, the word in column 2; multiword-token ranges and
    empty nodes are skipped, and every word gets the entity tag O).
    """
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
                if len(fields) == CONLLU_COLUMNS:
                    if not fields[0].isdigit():
                        continue  # a multiword-token range or an empty node
                    tag = "O"
                else:
                    tag = fields[2]
                words.append(fields[1])
                tags.append(tag)
    if words:
        sentences.append(Sentence(text if text is not None else "".join(words), words, tags))
    return sentences


@dataclasses.dataclass
class WordLists:
    """What the word lists say about simplified all-Han headwords."""

    glosses: dict[str, str]  # CC-CEDICT headword -> first gloss of its first entry
    idioms: set[str]  # headwords that CC-CEDICT marks as idioms
    traditional: dict[str, set[str]]  # headword -> traditional headwords paired with it
    ranks: dict[str, int]  # proficiency-test word -> its frequency rank (1 is the most common)
    ocr_words: set[str]
    levels: dict[str, int] = dataclasses.field(default_factory=dict)  # word -> lowest test level
    proper_nouns: set[str] = dataclasses.field(default_factory=set)

    def headwords(self) -> set[str]:
        return set(self.glosses) | set(self.ranks) | self.ocr_words


# A proper noun whose gloss starts with one capitalised name ("Nuremberg",
# "Iraq, country in ..."): a transliteration or an unanalysable name.
_ONE_NAME = re.compile(r"[A-Z][a-z\u00e0-\u00ff'-]+")
_GLOSS_HEAD_END = re.compile("[,;(]")


def read_cedict(path: str) -> tuple[dict[str, str], set[str], dict[str, set[str]], set[str]]:
    """Glosses, idioms, traditional headwords and one-name proper nouns (capitalised
    pinyin, a gloss that starts with one name) of the simplified all-Han headwords."""
    glosses: dict[str, str] = {}
    idioms: set[str] = set()
    proper: set[str] = set()
    traditional: dict[str, set[str]] = collections.defaultdict(set)
    with open(path, encoding="utf-8") as handle:
        for line in handle:
            if line.startswith("#"):
                continue
            parts = line.split(" ", 2)
            if len(parts) < 3 or not is_han(parts[1]):
                continue
            gloss = parts[2].partition("/")[2].partition("/")[0]
            glosses.setdefault(parts[1], gloss)
            if "(idiom)" in parts[2]:
                idioms.add(parts[1])
            head = _GLOSS_HEAD_END.split(gloss)[0].strip()
            if parts[2][1:2].isupper() and _ONE_NAME.fullmatch(head):
                proper.add(parts[1])
            if is_han(parts[0]):
                traditional[parts[1]].add(parts[0])
    return glosses, idioms, dict(traditional), proper


def read_ranked_words(path: str) -> tuple[dict[str, int], dict[str, set[str]], dict[str, int]]:
    """Frequency ranks, traditional spellings and lowest test levels (new scheme,
    1 to 7) of the proficiency-test words."""
    with open(path, encoding="utf-8") as handle:
        entries = json.load(handle)
    ranks: dict[str, int] = {}
    levels: dict[str, int] = {}
    traditional: dict[str, set[str]] = collections.defaultdict(set)
    for entry in entries:
        word = entry.get("s")
        if not isinstance(word, str) or not is_han(word):
            continue
        rank = entry.get("q")
        if isinstance(rank, int) and 0 < rank < UNRANKED:
            ranks[word] = min(rank, ranks.get(word, rank))
        else:
            ranks.setdefault(word, UNRANKED)
        for level in entry.get("l", []):
            if isinstance(level, str) and level[:1] == "n" and level[1:].isdigit():
                levels[word] = min(int(level[1:]), levels.get(word, int(level[1:])))
        for form in entry.get("f", []):
            spelling = form.get("t") if isinstance(form, dict) else None
            if isinstance(spelling, str) and is_han(spelling):
                traditional[word].add(spelling)
    return ranks, dict(traditional), levels


def read_word_lists(sources: str) -> WordLists:
    glosses, idioms, traditional, proper = read_cedict(os.path.join(sources, CEDICT))
    ranks, ranked_traditional, levels = read_ranked_words(os.path.join(sources, HSK))
    for word, spellings in ranked_traditional.items():
        traditional.setdefault(word, set()).update(spellings)
    return WordLists(glosses, idioms, traditional, ranks,
                     read_word_list(os.path.join(sources, OCR_WORDS)), levels, proper)


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


def occurrences_in_text(sentences: list[Sentence], candidates: set[str],
                        max_length: int) -> collections.Counter[str]:
    """How often each candidate of two or more characters occurs as a string in the
    texts, apart from occurrences inside a single word (which say nothing about
    whether the string stands as a word elsewhere)."""
    found: collections.Counter[str] = collections.Counter()
    for sentence in sentences:
        text = "".join(sentence.words)
        word_of = [i for i, word in enumerate(sentence.words) for _ in word]
        for length in range(2, max_length + 1):
            found.update(p for i, p in ((i, text[i:i + length])
                                        for i in range(len(text) - length + 1))
                         if p in candidates and word_of[i] != word_of[i + length - 1])
    return found


def rank_scale(counts: collections.Counter[str], ranks: dict[str, int]) -> float:
    """K of the law count = K / rank, fitted to the train counts of the ranked words.

    A ratio estimate over every ranked word, also those the train split lacks,
    so that the fit is not biased towards the words that happen to occur.
    """
    ranked = [(w, r) for w, r in sorted(ranks.items()) if r < UNRANKED]
    inverse = math.fsum(1 / r for _, r in ranked)
    return math.fsum(counts[w] for w, _ in ranked) / inverse if inverse else 0.0


def extra_priors(counts: collections.Counter[str], lists: WordLists,
                 settings: Settings) -> dict[str, float]:
    """Prior counts of the word-list headwords that the train split does not have."""
    scale = rank_scale(counts, lists.ranks) * settings.ranked_prior_weight
    priors: dict[str, float] = {}
    sources = (lists.glosses, lists.ranks, lists.ocr_words)
    for word in sorted(lists.headwords()):
        if word in counts or len(word) > settings.max_extra_length:
            continue
        if sum(word in source for source in sources) >= 2:
            prior = settings.extra_prior
        else:
            prior = settings.single_source_prior if len(word) < 3 else settings.long_prior
        if len(word) >= 3 and word in lists.proper_nouns and word[:-1] not in lists.glosses:
            prior = max(prior, settings.proper_prior)  # not a name plus a suffix (北京市)
        if word in lists.idioms:
            prior = max(prior, settings.idiom_prior)
        if lists.ranks.get(word, UNRANKED) < UNRANKED:
            prior = max(prior, scale / lists.ranks[word])
        priors[word] = prior
    for word in chinese_numerals():
        if word not in counts:
            priors[word] = max(priors.get(word, 0.0), settings.numeral_prior)
    return priors


def chinese_numerals() -> list[str]:
    """The numerals ten to ninety-nine and the round hundreds, and the ordinals of
    these and of one to nine (the digits themselves are left out)."""
    digits = "一二三四五六七八九"
    tens = ["十"] + [d + "十" for d in digits[1:]]
    numbers = list(digits) + tens + [t + d for t in tens for d in digits]
    numbers += [d + "百" for d in digits] + ["两百"]
    return sorted(set(numbers + ["第" + n for n in numbers]) - set(digits))


def train_counts(sentences: list[Sentence]) -> tuple[collections.Counter[str], dict[str, str]]:
    """Word counts of the train split and each word's most common entity type."""
    counts: collections.Counter[str] = collections.Counter()
    entities: dict[str, collections.Counter[str]] = collections.defaultdict(collections.Counter)
    for sentence in sentences:
        for word, tag in zip(sentence.words, sentence.entity_tags):
            if has_ascii_alnum(word) or any(c.isspace() for c in word):
                continue  # ASCII words and numbers are left to the segmenter's fixed rules
            counts[word] += 1
            entities[word][tag.partition("-")[2] or "O"] += 1
    return counts, {w: min(e.items(), key=lambda item: (-item[1], item[0]))[0]
                    for w, e in entities.items()}


def estimate_counts(sentences: list[Sentence], lists: WordLists, raw_texts: list[str],
                    settings: Settings) -> tuple[collections.Counter[str], dict[str, float]]:
    """Train counts, and estimated counts (in train occurrences) of every other headword.

    A headword's estimate is its prior plus its expected count as a word of
    the raw text (EM), scaled down by how often the train text holds it
    without ever writing it as one word.
    """
    counts, _ = train_counts(sentences)
    split = occurrences_in_text(sentences, {w for w in counts if len(w) > 1},
                                max(map(len, counts)))
    everyday = {w for w, r in lists.ranks.items()
                if len(w) >= settings.everyday_min_length and r < UNRANKED
                and lists.levels.get(w, UNRANKED) <= settings.everyday_max_level
                and w not in counts}
    counts = collections.Counter({w: c for w, c in counts.items()
                                  if split[w] <= settings.split_majority * c})
    priors = extra_priors(counts, lists, settings)
    counts = rank_floors(counts, lists.ranks, settings.rank_floor_weight)
    split = occurrences_in_text(sentences, set(priors), settings.max_extra_length)
    keep = {w: settings.split_evidence / (settings.split_evidence + split[w])
            if split[w] and len(w) < settings.split_exempt_length and w not in everyday
            else 1.0 for w in priors}
    fixed = {w: float(c) for w, c in counts.items() if is_han(w)}
    fixed.update((w, p * keep[w]) for w, p in priors.items())
    raw: dict[str, float] = {}
    if raw_texts and settings.em_iterations:
        model = word_frequencies.RawTextModel(word_frequencies.han_runs(raw_texts), fixed,
                                              settings.max_extra_length)
        raw = model.estimate(settings.em_iterations, settings.raw_weight)
    estimates = {w: (p + raw.get(w, 0.0)) * keep[w] for w, p in priors.items()}
    return counts, estimates


def build_main_dictionary(sentences: list[Sentence], lists: WordLists, raw_texts: list[str],
                          settings: Settings) -> dict[str, tuple[int, str]]:
    """Simplified word -> (frequency, tag): train counts plus estimated headword counts."""
    counts, estimates = estimate_counts(sentences, lists, raw_texts, settings)
    raw_counts, entities = train_counts(sentences)
    entries: dict[str, tuple[int, str]] = {}
    for word, count in counts.items():
        entity = entities[word]
        entries[word] = (round(count * settings.train_scale),
                         word_tag(word, None if entity == "O" else entity, lists.glosses.get(word)))
    for word, estimate in estimates.items():
        frequency = round(estimate * settings.train_scale)
        if frequency > 0:  # a headword whose estimate rounds to nothing is left out
            tag = "i" if word in lists.idioms else word_tag(word, None, lists.glosses.get(word))
            entries[word] = (frequency, tag)
    for mark in tuple(CJK_PUNCTUATION) + DOUBLED_PUNCTUATION:
        entries.setdefault(mark, (max(1, round(settings.extra_prior * settings.train_scale)), "x"))
    raised = sum(entries[w][0] - raw_counts[w] * settings.train_scale
                 for w in counts if len(w) == 1)
    rebalance_words(entries, raised)
    return entries


def rank_floors(counts: collections.Counter[str], ranks: dict[str, int],
                weight: float) -> collections.Counter[str]:
    """The counts with every ranked word raised to at least weight * K / rank (K
    fitted to the counts themselves, see rank_scale); other words unchanged."""
    scale = rank_scale(counts, ranks) * weight
    return collections.Counter({w: max(c, scale / ranks[w]) if ranks.get(w, UNRANKED) < UNRANKED
                                else c for w, c in counts.items()})


def rebalance_words(entries: dict[str, tuple[int, str]], raised: int) -> None:
    """Scales the words of two or more characters after single characters were
    raised by `raised` in total.

    Raising some characters also raises the total, and with it the cost of
    every word of a path, which by itself would make all other strings glue
    into longer words. The scale m makes m times the new total equal the total
    before the raise, so that a choice between a word and characters that were
    not raised comes out as it did before: m * (singles + m * multi) =
    singles - raised + multi. Raised characters still gain.
    """
    singles = sum(f for w, (f, _) in entries.items() if len(w) == 1)
    multi = sum(f for w, (f, _) in entries.items() if len(w) > 1)
    if not raised or not multi:
        return
    target = singles - raised + multi
    m = (math.sqrt(singles * singles + 4 * multi * target) - singles) / (2 * multi)
    for word, (frequency, tag) in sorted(entries.items()):
        if len(word) > 1:
            entries[word] = (max(1, round(frequency * m)), tag)


def add_traditional(main: dict[str, tuple[int, str]],
                    converter: traditional.Converter) -> dict[str, tuple[int, str]]:
    """Traditional spellings of the words that are not words already, with the summed
    frequency of the simplified words they spell (usually just one)."""
    spelled: dict[str, list[tuple[int, str]]] = collections.defaultdict(list)
    for word, (frequency, tag) in sorted(main.items()):
        for form in converter.spellings(word):
            if form not in main:
                spelled[form].append((frequency, tag))
    return {form: (sum(f for f, _ in sources), max(sources)[1])
            for form, sources in spelled.items()}


def build_user_dictionary(sentences: list[Sentence], main: dict[str, tuple[int, str]],
                          settings: Settings,
                          spellings: dict[str, set[str]] | None = None,
                          ranks: dict[str, int] | None = None) -> list[str]:
    """Single characters that must stay words of their own, with their main frequency.

    spellings maps a character to its traditional spellings in the main
    dictionary; they stay words of their own too.
    """
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
    for char, rank in sorted((ranks or {}).items()):
        if len(char) == 1 and rank <= settings.user_single_max_rank and as_word[char]:
            chosen.add(char)
    for char in sorted(chosen):
        chosen.update(f for f in (spellings or {}).get(char, ()) if f in main)
    return [f"{c} {main[c][0]} {main[c][1]}" for c in sorted(chosen)]


def _log_ratio(count: float, total: float) -> str:
    return f"{math.log(count / total):.6f}"


def build_hmm_model(sentences: list[Sentence], settings: Settings,
                    converter: traditional.Converter | None = None) -> list[str]:
    """Start, transition and emission log probabilities counted from the train split.

    With a converter, every traditional spelling of a character also emits
    the character's counts (added to its own when it is a simplified
    character too), so that traditional text decodes like simplified text.
    """
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
    if converter is not None:
        for state in STATES:
            simplified = emissions[state].copy()
            for char, count in sorted(simplified.items()):
                for form in sorted(converter.spellings(char)):
                    emissions[state][form] += count
    lines = ["# HMM model of the default data: states B (word begin), E (word end),",
             "# M (word middle), S (single-character word); natural-log probabilities.",
             "# start: B E M S"]
    scale = {s: settings.word_start_scale if s == "B" else 1.0 for s in STATES}
    start_total = sum((starts[s] + 1) * scale[s] for s in ALLOWED_STARTS)
    lines.append(" ".join(_log_ratio((starts[s] + 1) * scale[s], start_total)
                          if s in ALLOWED_STARTS else IMPOSSIBLE for s in STATES))
    lines.append("# transitions: one row per previous state B E M S, columns B E M S")
    for previous in STATES:
        allowed = ALLOWED_TRANSITIONS[previous]
        total = sum((transitions[previous, s] + 1) * scale[s] for s in allowed)
        lines.append(" ".join(_log_ratio((transitions[previous, s] + 1) * scale[s], total)
                              if s in allowed else IMPOSSIBLE for s in STATES))
    vocabulary = sorted(set().union(*emissions.values()))
    k = settings.emission_smoothing
    for state in STATES:
        lines.append(f"# emissions of state {state}")
        total = sum(emissions[state].values()) + k * len(vocabulary)
        lines.append(",".join(f"{c}:{_log_ratio(emissions[state][c] + k, total)}"
                              for c in vocabulary))
    return lines


def build_idf(sentences: list[Sentence],
              converter: traditional.Converter | None = None) -> list[str]:
    """Inverse document frequency ln(N / df) of every train word, a sentence a document;
    with a converter, also of the traditional spellings that are not train words."""
    frequency: collections.Counter[str] = collections.Counter()
    for sentence in sentences:
        frequency.update(set(sentence.words))
    documents = len(sentences)
    idf = {w: math.log(documents / df) for w, df in frequency.items() if " " not in w}
    if converter is not None:
        for word, value in sorted(idf.items()):
            for form in converter.spellings(word):
                if form not in frequency:
                    idf[form] = max(idf.get(form, value), value)
    return [f"{w} {v:.6f}" for w, v in sorted(idf.items())]


def read_raw_texts(sources: str) -> list[str]:
    """The raw texts whose statistics the frequency estimate uses, in name order."""
    folder = os.path.join(sources, BENCH_TEXT)
    texts = []
    for name in sorted(os.listdir(folder)):
        if name.endswith(".txt"):
            with open(os.path.join(folder, name), encoding="utf-8") as handle:
                texts.append(handle.read())
    return texts


def read_converter(sources: str, lists: WordLists) -> traditional.Converter:
    tables = {name: traditional.read_table(os.path.join(sources, OPENCC, name + ".txt"))
              for name in ("STCharacters", "STPhrases", "TSCharacters")}
    return traditional.Converter(tables["STCharacters"], tables["STPhrases"],
                                 tables["TSCharacters"], lists.traditional)


def build(sources: str, settings: Settings = Settings()) -> DataSet:
    """All five data files from the sources folder (checksums are checked first)."""
    verify_checksums(sources)
    sentences = read_segmented(os.path.join(sources, TRAIN))
    lists = read_word_lists(sources)
    converter = read_converter(sources, lists)
    main = build_main_dictionary(sentences, lists, read_raw_texts(sources), settings)
    spelled = add_traditional(main, converter)
    main.update(spelled)
    # A kept character's traditional spellings stay words of their own too, also
    # those that are characters of simplified text as well (the particle 着 is
    # written 著 in traditional text, 只 is written 祇).
    char_spellings = {c: {f for f in converter.spellings(c) if f in main}
                      for c in main if len(c) == 1}
    user_dict = build_user_dictionary(sentences, main, settings, char_spellings, lists.ranks)
    return DataSet(
        main_dict=[f"{w} {f} {t}" for w, (f, t) in sorted(main.items())],
        hmm_model=build_hmm_model(sentences, settings, converter),
        user_dict=user_dict,
        idf=build_idf(sentences, converter),
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
headwords of the word lists were added with frequencies estimated from their
frequency ranks and from how often they stand as words in raw text (only
counts are kept, no text); traditional spellings of every word and character
were added through the conversion tables and the traditional headwords of the
word lists; the stop-word array was written one word per line.

Sources
-------

* Segmented corpus (word counts, HMM model, user dictionary, IDF table):
  Universal NER, UNER_Chinese-GSDSIMP at commit 1f03075 (Mayhew et al.,
  NAACL 2024), train split zh_gsdsimp-ud-train.iob2, whose segmentation is
  that of Universal Dependencies UD_Chinese-GSDSimp (Qi Peng, Koichi
  Yasuoka; Google's GSD annotation). Licence: CC BY-SA 4.0.

* CC-CEDICT of 2026-09-10, published by MDBG (https://cc-cedict.org/wiki/);
  CEDICT (C) 1997, 1998 Paul Andrew Denisowski. Simplified and traditional
  headwords made of Han characters only, idiom marks. Licence: CC BY-SA 4.0.

* Tesseract chi_sim LSTM word list, from the Debian package
  tesseract-ocr-chi-sim 1:4.1.0-2 (extracted with combine_tessdata and
  dawg2wordlist). Words made of Han characters only. Licence: Apache-2.0
  (LICENSE-Apache-2.0.txt).

* complete-hsk-vocabulary (drkameleon/complete-hsk-vocabulary at commit
  9a032f6), Copyright (c) 2026 Yanis Zafirópulos: proficiency-test words,
  their traditional spellings and frequency ranks. Licence: MIT
  (LICENSE-MIT-hsk.txt).

* Open Chinese Convert (OpenCC, BYVoid/OpenCC data/dictionary at commit
  5249273): simplified-to-traditional character and phrase tables.
  Licence: Apache-2.0 (LICENSE-Apache-2.0.txt).

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
    with open(os.path.join(sources, os.path.dirname(HSK), "LICENSE"), encoding="utf-8") as handle:
        mit_hsk = handle.read()
    with open(os.path.join(REPO_ROOT, "LICENSE"), encoding="utf-8") as handle:
        apache = handle.read()
    return {"ATTRIBUTION.txt": ATTRIBUTION, "LICENSE-CC-BY-SA-4.0.txt": CC_BY_SA_NOTICE,
            "LICENSE-Apache-2.0.txt": apache, "LICENSE-MIT-stopwords.txt": mit,
            "LICENSE-MIT-hsk.txt": mit_hsk}


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
