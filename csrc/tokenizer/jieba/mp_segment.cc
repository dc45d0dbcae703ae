#include "tokenizer/jieba/mp_segment.h"

#include <cstddef>

#include "tokenizer/jieba/constants.h"
#include "tokenizer/jieba/lattice_cell.h"

namespace lumo::typing::text::jieba {

namespace {

// Scratch lattices larger than this many cells are freed after use, so that
// one very long range does not pin its memory to the thread for good.
constexpr std::size_t kKeptLatticeCells = 4096;

}  // namespace

MPSegment::MPSegment(const DictTrie& dict_trie) : dict_trie_(dict_trie) {}

MPSegment::~MPSegment() = default;

void MPSegment::SplitSentence(std::string_view sentence, std::vector<std::string>& words) const {
  SplitSentenceWith(sentence, words, [this](const DecodedRune* begin, const DecodedRune* end,
                                            std::vector<WordRange>& ranges) { SplitRange(begin, end, ranges); });
}

void MPSegment::SplitSentence(std::string_view sentence, std::vector<WordRecord>& records) const {
  SplitSentenceWith(sentence, records, [this](const DecodedRune* begin, const DecodedRune* end,
                                              std::vector<WordRange>& ranges) { SplitRange(begin, end, ranges); });
}

void MPSegment::SplitRange(const DecodedRune* begin, const DecodedRune* end, std::vector<WordRange>& ranges) const {
  if (begin == end) return;
  // One lattice per thread, reused from range to range: its cells keep their
  // candidates inside themselves, so a range costs no heap allocation once the
  // lattice has grown to the longest range seen.
  thread_local std::vector<LatticeCell> cells;
  cells.clear();
  dict_trie_.BuildLattice(begin, end, cells, MAX_WORD_RUNES);
  const std::size_t n = cells.size();
  const double min_weight = dict_trie_.MinWeight();

  // Best path from every position to the end, from the last position down.
  for (std::size_t i = n; i-- > 0;) {
    LatticeCell& cell = cells[i];
    cell.best_entry = nullptr;
    cell.best_weight = MIN_LOG_PROB;
    for (const LatticeCandidate& candidate : cell.candidates) {
      const std::size_t next = static_cast<std::size_t>(candidate.end) + 1;
      const double tail = next < n ? cells[next].best_weight : 0.0;
      const double value = (candidate.entry != nullptr ? candidate.entry->weight : min_weight) + tail;
      // Strictly greater: the earlier, shorter candidate keeps a tie.
      if (value > cell.best_weight) {
        cell.best_entry = candidate.entry;
        cell.best_weight = value;
      }
    }
  }

  for (std::size_t i = 0; i < n;) {
    const DictEntry* entry = cells[i].best_entry;
    const std::size_t length = entry != nullptr ? entry->word.size() : 1;
    ranges.push_back(WordRange{begin + i, begin + i + length - 1});
    i += length;
  }

  if (cells.capacity() > kKeptLatticeCells) std::vector<LatticeCell>().swap(cells);
}

bool MPSegment::TagSentence(std::string_view sentence,
                            std::vector<std::pair<std::string, std::string>>& tagged) const {
  return tagger_.TagSentence(sentence, tagged, *this);
}

const DictTrie& MPSegment::Dictionary() const { return dict_trie_; }

}  // namespace lumo::typing::text::jieba
