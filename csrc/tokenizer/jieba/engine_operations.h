// Operations on a built engine beyond Cut and CutForSearch: the full-mode
// cut, part-of-speech tags, TF-IDF keywords, and the conversion of byte
// slices into code point spans. All are read-only on the engine, so any number
// of threads may run them at once.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tokenizer/jieba/jieba.h"

namespace lumo::typing::text::jieba {

// Replaces slices by the words of the full segmenter (every dictionary word of
// two or more runes, overlapping ones included, and the runes no word covers),
// by start and then end position.
void CutAllSlices(const Jieba& engine, std::string_view sentence, std::vector<WordSlice>& slices);

// Replaces tagged by (word, tag) for every word of Cut(sentence): the
// dictionary's tag of the word, else a tag guessed from its ASCII content.
void TagWords(const Jieba& engine, std::string_view sentence,
              std::vector<std::pair<std::string, std::string>>& tagged);

// One keyword and its TF-IDF weight.
struct Keyword {
  std::string word;
  double weight = 0.0;
};

// The TF-IDF keywords of sentence, best first; all of them when top_k is
// negative, else at most top_k. Candidates are the words of Cut(sentence) of at
// least two runes that are not stop words. With n the number of candidate
// occurrences and c the count of a word among them, the weight of the word is
// (c / n) * idf, idf being the word's value in the IDF table or, for a word the
// table lacks, the table's average. Equal weights are ordered by the word's
// bytes, ascending.
std::vector<Keyword> ExtractKeywords(const Jieba& engine, std::string_view sentence, std::int64_t top_k);

// A word's place in its text in code points: [start, end).
struct CodePointSpan {
  std::uint32_t start = 0;
  std::uint32_t end = 0;
};

// Replaces spans by the code point spans of slices of text, which must be
// valid UTF-8 and cut at character boundaries (as the words of every cut of a
// valid UTF-8 text are). Slices may come in any order; the work is linear in
// the text plus the distance between consecutive slices.
void SlicesToCodePointSpans(std::string_view text, const std::vector<WordSlice>& slices,
                            std::vector<CodePointSpan>& spans);

}  // namespace lumo::typing::text::jieba
