// The full segmenter: every dictionary word that occurs in the text,
// overlapping ones included, and every rune that no dictionary word covers.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tokenizer/jieba/dict_trie.h"
#include "tokenizer/jieba/segment_base.h"

namespace lumo::typing::text::jieba {

class FullSegment : public SegmentBase {
 public:
  // dict_trie is not owned and must outlive the segmenter.
  explicit FullSegment(const DictTrie& dict_trie);
  ~FullSegment() override;

  // Replaces words (or records) by the words of sentence. A sentence that does
  // not decode gives no words and the ERROR line "decode failed. ".
  void SplitSentence(std::string_view sentence, std::vector<std::string>& words) const override;
  void SplitSentence(std::string_view sentence, std::vector<WordRecord>& records) const;

  // Appends to ranges, by start and then end position, every dictionary word
  // of two or more runes in [begin, end), and each rune at which no longer
  // word starts and which no word listed before covers. Ranges may overlap.
  void SplitRange(const DecodedRune* begin, const DecodedRune* end, std::vector<WordRange>& ranges) const;

 private:
  const DictTrie& dict_trie_;
};

}  // namespace lumo::typing::text::jieba
