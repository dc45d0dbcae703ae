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

class QuerySegment : public RangeSegmenter<QuerySegment> {
 public:
  // Neither dict_trie nor model is owned; both must outlive the segmenter.
  QuerySegment(const DictTrie& dict_trie, const HMMModel& model);
  QuerySegment(const QuerySegment&) = delete;  // holds references to the engine's resources
  QuerySegment& operator=(const QuerySegment&) = delete;
  QuerySegment(QuerySegment&&) = delete;
  QuerySegment& operator=(QuerySegment&&) = delete;
  ~QuerySegment() override;

  // Gives sink, for every mixed word of range in order: when it has more than
  // two runes its two-rune dictionary words, when more than three also its
  // three-rune ones (each by rising offset, repeats included), then the word
  // itself.
  void SplitRunes(const RangeText& range, WordSink& sink, SegmentWorkspace& workspace) const;

 private:
  MixSegment mix_seg_;
  const DictTrie& dict_trie_;
};

}  // namespace lumo::typing::text::jieba
