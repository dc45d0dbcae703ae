// The query segmenter behind cut_for_search: the mixed segmentation, with the
// two- and three-rune dictionary words inside every long word listed in front
// of it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tokenizer/jieba/dict_trie.h"
#include "tokenizer/jieba/hmm_model.h"
#include "tokenizer/jieba/mix_segment.h"
#include "tokenizer/jieba/segment_base.h"

namespace lumo::typing::text::jieba {

class QuerySegment : public SegmentBase {
 public:
  // Neither dict_trie nor model is owned; both must outlive the segmenter.
  QuerySegment(const DictTrie& dict_trie, const HMMModel& model);
  ~QuerySegment() override;

  // Replaces words (or records) by the words of sentence. A sentence that does
  // not decode gives no words and the ERROR line "decode failed. ".
  void SplitSentence(std::string_view sentence, std::vector<std::string>& words) const override;
  void SplitSentence(std::string_view sentence, std::vector<WordRecord>& records) const;

  // Appends to ranges, for every mixed word of [begin, end) in order: when it
  // has more than two runes its two-rune dictionary words, when more than
  // three also its three-rune ones (each by rising offset, repeats included),
  // then the word itself.
  void SplitRange(const DecodedRune* begin, const DecodedRune* end, std::vector<WordRange>& ranges) const;

 private:
  MixSegment mix_seg_;
  const DictTrie& dict_trie_;
};

}  // namespace lumo::typing::text::jieba
