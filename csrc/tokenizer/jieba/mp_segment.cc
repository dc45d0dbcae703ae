#include "tokenizer/jieba/mp_segment.h"

#include <cstddef>
#include <cstdint>

#include "tokenizer/jieba/constants.h"
#include "tokenizer/jieba/lattice_cell.h"

namespace lumo::typing::text::jieba {

namespace {

// Scratch lattices larger than this many cells are freed after use, so that
// one very long range does not pin its memory to the thread for good.
constexpr std::size_t kKeptLatticeCells = 4096;

// The working lists of one range, kept per thread and reused from range to
// range, so that a range costs no heap allocation once they have grown to the
// longest range seen (the cells keep up to 16 candidates inside themselves).
struct PathScratch {
  std::vector<LatticeCell> cells;
  std::vector<double> weights;            // the weight of every candidate, cell after cell
  std::vector<std::size_t> cell_starts;    // index in weights of each cell's first candidate
  std::vector<std::uint32_t> best_ends;    // last rune of the best word at each position

  static PathScratch& OfThisThread() {
    thread_local PathScratch scratch;
    return scratch;
  }

  void ReleaseIfLarge() {
    if (cells.capacity() <= kKeptLatticeCells) return;
    std::vector<LatticeCell>().swap(cells);
    std::vector<double>().swap(weights);
    std::vector<std::size_t>().swap(cell_starts);
    std::vector<std::uint32_t>().swap(best_ends);
  }
};

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
  PathScratch& scratch = PathScratch::OfThisThread();
  std::vector<LatticeCell>& cells = scratch.cells;
  cells.clear();
  dict_trie_.BuildLattice(begin, end, cells, MAX_WORD_RUNES);
  const std::size_t n = cells.size();
  const double min_weight = dict_trie_.MinWeight();

  // The weights of all candidates, gathered first into one flat list: the
  // loads from the entries do not depend on each other, so their cache misses
  // overlap, and the best-path pass below then reads local memory only.
  std::vector<double>& weights = scratch.weights;
  std::vector<std::size_t>& cell_starts = scratch.cell_starts;
  std::vector<std::uint32_t>& best_ends = scratch.best_ends;
  weights.clear();
  cell_starts.resize(n + 1);
  best_ends.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    cell_starts[i] = weights.size();
    for (const LatticeCandidate& candidate : cells[i].candidates) {
      weights.push_back(candidate.entry != nullptr ? candidate.entry->weight : min_weight);
    }
  }
  cell_starts[n] = weights.size();

  // Best path from every position to the end, from the last position down.
  for (std::size_t i = n; i-- > 0;) {
    LatticeCell& cell = cells[i];
    cell.best_entry = nullptr;
    cell.best_weight = MIN_LOG_PROB;
    const double* weight = weights.data() + cell_starts[i];
    std::size_t best_end = i;
    for (const LatticeCandidate& candidate : cell.candidates) {
      const std::size_t next = static_cast<std::size_t>(candidate.end) + 1;
      const double tail = next < n ? cells[next].best_weight : 0.0;
      const double value = *weight++ + tail;
      // Strictly greater: the earlier, shorter candidate keeps a tie.
      if (value > cell.best_weight) {
        cell.best_entry = candidate.entry;
        cell.best_weight = value;
        best_end = static_cast<std::size_t>(candidate.end);
      }
    }
    // A chosen entry's word ends at its candidate's end (its rune count is
    // end - i + 1), known here without another load from the entry.
    best_ends[i] = static_cast<std::uint32_t>(cell.best_entry != nullptr ? best_end : i);
  }

  for (std::size_t i = 0; i < n;) {
    const std::size_t last = best_ends[i];
    ranges.push_back(WordRange{begin + i, begin + last});
    i = last + 1;
  }

  scratch.ReleaseIfLarge();
}

bool MPSegment::TagSentence(std::string_view sentence,
                            std::vector<std::pair<std::string, std::string>>& tagged) const {
  return tagger_.TagSentence(sentence, tagged, *this);
}

const DictTrie& MPSegment::Dictionary() const { return dict_trie_; }

}  // namespace lumo::typing::text::jieba
