// Part-of-speech tags for the words of a tagging segmenter.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tokenizer/jieba/rune.h"
#include "tokenizer/jieba/segment_base.h"

namespace lumo::typing::text::jieba {

// Stateless: tags come from the segmenter's dictionary, or are guessed from a
// word's ASCII content. Safe to use from several threads at once.
class PosTagger {
 public:
  PosTagger() = default;
  PosTagger(const PosTagger&) = default;
  PosTagger& operator=(const PosTagger&) = default;
  PosTagger(PosTagger&&) = default;
  PosTagger& operator=(PosTagger&&) = default;

  // Appends (word, TagOfWord(word)) for every word of segmenter's
  // SplitSentence(sentence) to tagged, which is not cleared first. Returns
  // whether tagged is non-empty afterwards.
  bool TagSentence(std::string_view sentence, std::vector<std::pair<std::string, std::string>>& tagged,
                   const SegmentTagged& segmenter) const;

  // The dictionary tag of word when the segmenter's dictionary has one (not
  // empty), else GuessTag. A word that does not decode gets "x" after the
  // ERROR line "Decode failed.".
  std::string TagOfWord(std::string_view word, const SegmentTagged& segmenter) const;

  // "x" without ASCII, "m" for ASCII digits only, "eng" otherwise; only the
  // runes before the count of ASCII runes reaches half the word are looked at.
  static std::string GuessTag(const DecodedRune* begin, const DecodedRune* end);
};

}  // namespace lumo::typing::text::jieba
