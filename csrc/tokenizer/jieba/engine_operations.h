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
// The same for a text of code points: slices count code points.
void CutAllSlices(const Jieba& engine, const CodePointText& sentence, std::vector<WordSlice>& slices);

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

}  // namespace lumo::typing::text::jieba
