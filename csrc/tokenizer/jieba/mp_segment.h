// The max-probability segmenter: the dictionary words whose summed log
// weights are largest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tokenizer/jieba/dict_trie.h"
#include "tokenizer/jieba/pos_tagger.h"
#include "tokenizer/jieba/segment_base.h"

namespace lumo::typing::text::jieba {

class MPSegment : public RangeSegmenter<MPSegment, SegmentTagged> {
 public:
  // dict_trie is not owned and must outlive the segmenter.
  explicit MPSegment(const DictTrie& dict_trie);
  MPSegment(const MPSegment&) = delete;  // holds references to the engine's resources
  MPSegment& operator=(const MPSegment&) = delete;
  MPSegment(MPSegment&&) = delete;
  MPSegment& operator=(MPSegment&&) = delete;
  ~MPSegment() override;

  // Gives sink the best-path words of range: the path of dictionary words
  // (runes the dictionary does not know count as words of the dictionary's
  // lowest weight) with the largest summed weight; of equal paths, the one
  // with the shorter word at the first difference.
  void SplitRunes(const RangeText& range, WordSink& sink, SegmentWorkspace& workspace) const;

  // Sets lengths[i], for every position i of runes[0, size), to the rune count
  // of the first word of the best path from i to the end; the words of the
  // whole range are then read from position 0 by these lengths. Scores each
  // position from the last down, walking the dictionary tree from it, so that
  // only a window of MAX_WORD_RUNES path values is kept besides lengths.
  void BestWordLengths(const Rune* runes, std::size_t size, std::uint32_t* lengths) const;

  bool TagSentence(std::string_view sentence,
                   std::vector<std::pair<std::string, std::string>>& tagged) const override;
  const DictTrie& Dictionary() const override;

 private:
  const DictTrie& dict_trie_;
  PosTagger tagger_;
};

}  // namespace lumo::typing::text::jieba
