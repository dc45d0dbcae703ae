// The full segmenter: every dictionary word that occurs in the text,
// overlapping ones included, and every rune that no dictionary word covers.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tokenizer/jieba/dict_trie.h"
#include "tokenizer/jieba/segment_base.h"

namespace lumo::typing::text::jieba {

class FullSegment : public RangeSegmenter<FullSegment> {
 public:
  // dict_trie is not owned and must outlive the segmenter.
  explicit FullSegment(const DictTrie& dict_trie);
  FullSegment(const FullSegment&) = delete;  // holds a reference to the engine's dictionary
  FullSegment& operator=(const FullSegment&) = delete;
  FullSegment(FullSegment&&) = delete;
  FullSegment& operator=(FullSegment&&) = delete;
  ~FullSegment() override;

  // Gives sink, by start and then end position, every dictionary word of two
  // or more runes in range, and each rune at which no longer word starts and
  // which no word listed before covers. Words may overlap.
  void SplitRunes(const RangeText& range, WordSink& sink, SegmentWorkspace& workspace) const;

 private:
  const DictTrie& dict_trie_;
};

}  // namespace lumo::typing::text::jieba
