"""Traditional spellings of simplified words, from conversion tables and word lists.

The conversion tables map a simplified character to its traditional variants
(the first is the usual one) and whole words whose conversion differs from
character-by-character conversion. A word's traditional spellings are its
table conversion plus every traditional headword that the word lists pair
with it; a single character also gets every traditional character that the
reverse table maps to it (so that regional variants such as 裡 next to 裏
are known). Standard library only.
"""

from __future__ import annotations

import collections


def read_table(path: str) -> dict[str, list[str]]:
    """A conversion table: key -> its values, in file order (`#` lines are comments)."""
    table: dict[str, list[str]] = {}
    with open(path, encoding="utf-8") as handle:
        for line in handle:
            if line.startswith("#") or not line.strip():
                continue
            key, _, values = line.rstrip("\n").partition("\t")
            if values.split():
                table[key] = values.split()
    return table


class Converter:
    """Simplified -> traditional spellings of words."""

    def __init__(self, characters: dict[str, list[str]], phrases: dict[str, list[str]],
                 reverse_characters: dict[str, list[str]],
                 listed: dict[str, set[str]]) -> None:
        self.characters = characters
        self.phrases = phrases
        self.listed = listed
        # Simplified character -> every traditional character that converts to it.
        self.char_variants: dict[str, set[str]] = collections.defaultdict(set)
        for traditional, simplified in reverse_characters.items():
            if len(traditional) == 1 and len(simplified[0]) == 1:
                self.char_variants[simplified[0]].add(traditional)

    def convert(self, word: str) -> str:
        """The usual traditional spelling: the phrase table, else character by character."""
        if word in self.phrases:
            return self.phrases[word][0]
        return "".join(self.characters.get(c, [c])[0] for c in word)

    def spellings(self, word: str) -> set[str]:
        """Every traditional spelling of the word other than the word itself."""
        forms = {self.convert(word)} | self.listed.get(word, set())
        if len(word) == 1:
            forms |= self.char_variants.get(word, set())
        forms.discard(word)
        return {form for form in forms if len(form) == len(word)}
