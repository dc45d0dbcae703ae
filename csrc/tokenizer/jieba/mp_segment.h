// The max-probability segmenter: the dictionary words whose summed log
// weights are largest.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tokenizer/jieba/dict_trie.h"
#include "tokenizer/jieba/pos_tagger.h"
#include "tokenizer/jieba/segment_base.h"

namespace lumo::typing::text::jieba {

class MPSegment : public SegmentTagged {
 public:
  // dict_trie is not owned and must outlive the segmenter.
  explicit MPSegment(const DictTrie& dict_trie);
  MPSegment(const MPSegment&) = delete;  // holds references to the engine's resources
  MPSegment& operator=(const MPSegment&) = delete;
  MPSegment(MPSegment&&) = delete;
  MPSegment& operator=(MPSegment&&) = delete;
  ~MPSegment() override;

  // Replaces words (or records) by the words of sentence. A sentence that does
  // not decode gives no words and the ERROR line "decode failed. ".
  void SplitSentence(std::string_view sentence, std::vector<std::string>& words) const override;
  void SplitSentence(std::string_view sentence, std::vector<WordRecord>& records) const;

  // Appends to ranges the best-path words of the runes [begin, end): the path
  // of dictionary words (runes the dictionary does not know count as words of
  // the dictionary's lowest weight) with the largest summed weight; of equal
  // paths, the one with the shorter word at the first difference.
  void SplitRange(const DecodedRune* begin, const DecodedRune* end, std::vector<WordRange>& ranges) const;

  bool TagSentence(std::string_view sentence,
                   std::vector<std::pair<std::string, std::string>>& tagged) const override;
  const DictTrie& Dictionary() const override;

 private:
  const DictTrie& dict_trie_;
  PosTagger tagger_;
};

}  // namespace lumo::typing::text::jieba
