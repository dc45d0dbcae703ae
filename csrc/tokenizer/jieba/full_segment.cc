#include "tokenizer/jieba/full_segment.h"

#include <algorithm>
#include <cstddef>

#include "tokenizer/jieba/constants.h"
#include "tokenizer/jieba/lattice_cell.h"

namespace lumo::typing::text::jieba {

FullSegment::FullSegment(const DictTrie& dict_trie) : dict_trie_(dict_trie) {}

FullSegment::~FullSegment() = default;

void FullSegment::SplitRunes(const RangeText& range, WordSink& sink, SegmentWorkspace& /*workspace*/) const {
  // The candidates of one position at a time: whether the single rune is
  // listed depends on how many candidates its position has.
  InlineVector<LatticeCandidate> candidates;
  // covered: the position just past the furthest word seen so far. A rune
  // without entry moves it no further than itself, so that no rune that a
  // word does not cover goes missing from the output.
  std::size_t covered = 0;
  for (std::size_t i = 0; i < range.size; ++i) {
    candidates.clear();
    dict_trie_.ForEachWordAt(range.runes + i, range.size - i, MAX_WORD_RUNES,
                             [&](std::size_t j, const DictEntry* entry) {
                               candidates.push_back(LatticeCandidate{i + j, entry});
                             });
    const bool alone = candidates.size() == 1;
    for (const LatticeCandidate& candidate : candidates) {
      const std::size_t runes = candidate.entry == nullptr ? 1 : candidate.entry->word.size();
      if (runes >= 2 || (alone && covered <= i)) sink.Add(i, static_cast<std::size_t>(candidate.end));
      covered = std::max(covered, i + runes);
    }
  }
}

}  // namespace lumo::typing::text::jieba
