#include "tokenizer/jieba/query_segment.h"

#include <cstddef>

namespace lumo::typing::text::jieba {

QuerySegment::QuerySegment(const DictTrie& dict_trie, const HMMModel& model)
    : mix_seg_(dict_trie, model), dict_trie_(dict_trie) {}

QuerySegment::~QuerySegment() = default;

void QuerySegment::SplitRunes(const RangeText& range, WordSink& sink, SegmentWorkspace& workspace) const {
  std::uint32_t* lengths = workspace.WordLengths(range.size);
  mix_seg_.WordLengths(range.runes, range.size, lengths, workspace);
  const Rune* runes = range.runes;
  for (std::size_t first = 0; first < range.size;) {
    const std::size_t length = lengths[first];
    for (std::size_t width = 2; width <= 3 && length > width; ++width) {
      for (std::size_t i = first; i + width <= first + length; ++i) {
        if (dict_trie_.LookupWord(runes + i, runes + i + width) != nullptr) sink.Add(i, i + width - 1);
      }
    }
    sink.Add(first, first + length - 1);
    first += length;
  }
}

}  // namespace lumo::typing::text::jieba
