#include "tokenizer/jieba/full_segment.h"

#include <algorithm>
#include <cstddef>

#include "tokenizer/jieba/constants.h"
#include "tokenizer/jieba/lattice_cell.h"

namespace lumo::typing::text::jieba {

FullSegment::FullSegment(const DictTrie& dict_trie) : dict_trie_(dict_trie) {}

FullSegment::~FullSegment() = default;

void FullSegment::SplitSentence(std::string_view sentence, std::vector<std::string>& words) const {
  SplitSentenceWith(sentence, words, [this](const DecodedRune* begin, const DecodedRune* end,
                                            std::vector<WordRange>& ranges) { SplitRange(begin, end, ranges); });
}

void FullSegment::SplitSentence(std::string_view sentence, std::vector<WordRecord>& records) const {
  SplitSentenceWith(sentence, records, [this](const DecodedRune* begin, const DecodedRune* end,
                                              std::vector<WordRange>& ranges) { SplitRange(begin, end, ranges); });
}

void FullSegment::SplitRange(const DecodedRune* begin, const DecodedRune* end, std::vector<WordRange>& ranges) const {
  std::vector<LatticeCell> cells;
  dict_trie_.BuildLattice(begin, end, cells, MAX_WORD_RUNES);
  // covered: the position just past the furthest word seen so far. A rune
  // without entry moves it no further than itself, so that no rune that a
  // word does not cover goes missing from the output.
  std::size_t covered = 0;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const InlineVector<LatticeCandidate>& candidates = cells[i].candidates;
    const bool alone = candidates.size() == 1;
    for (const LatticeCandidate& candidate : candidates) {
      const std::size_t runes = candidate.entry == nullptr ? 1 : candidate.entry->word.size();
      if (runes >= 2 || (alone && covered <= i)) {
        ranges.push_back(WordRange{begin + i, begin + candidate.end});
      }
      covered = std::max(covered, i + runes);
    }
  }
}

}  // namespace lumo::typing::text::jieba
