#include "tokenizer/jieba/mp_segment.h"

#include "tokenizer/jieba/constants.h"

namespace lumo::typing::text::jieba {

namespace {

// The best-path values of the positions after the one being scored: a word
// reaches at most MAX_WORD_RUNES positions ahead, so a ring of that many
// values holds every value a candidate can need.
constexpr std::size_t kWindow = MAX_WORD_RUNES;
static_assert((kWindow & (kWindow - 1)) == 0, "the window is indexed by masking");

// How many positions ahead of the walk the dictionary tree is prefetched.
constexpr std::size_t kPrefetchAhead = 4;

}  // namespace

MPSegment::MPSegment(const DictTrie& dict_trie) : dict_trie_(dict_trie) {}

MPSegment::~MPSegment() = default;

void MPSegment::BestWordLengths(const Rune* runes, std::size_t size, std::uint32_t* lengths) const {
  double window[kWindow];
  // The path value past the last rune is 0. A word from i ends at most
  // kWindow positions further, so the slot of position size is read before
  // any later position overwrites it, and no candidate needs a bounds check.
  window[size & (kWindow - 1)] = 0.0;
  for (std::size_t i = size; i-- > 0;) {
    // The walks are memory bound: start the first loads of a later walk now.
    if (i >= kPrefetchAhead) dict_trie_.PrefetchWalk(runes[i - kPrefetchAhead]);
    double best_weight = MIN_LOG_PROB;
    std::size_t best_last = 0;  // relative to i; a single rune unless a word beats it
    const double* tails = window;
    dict_trie_.ForEachWeightAt(runes + i, size - i, kWindow, [&](std::size_t j, double weight) {
      const double value = weight + tails[(i + j + 1) & (kWindow - 1)];
      // Strictly greater: the earlier, shorter candidate keeps a tie.
      if (value > best_weight) {
        best_weight = value;
        best_last = j;
      }
    });
    window[i & (kWindow - 1)] = best_weight;
    lengths[i] = static_cast<std::uint32_t>(best_last + 1);
  }
}

void MPSegment::SplitRunes(const RangeText& range, WordSink& sink, SegmentWorkspace& workspace) const {
  std::uint32_t* lengths = workspace.WordLengths(range.size);
  BestWordLengths(range.runes, range.size, lengths);
  sink.AddLengths(lengths, range.size);
}

bool MPSegment::TagSentence(std::string_view sentence,
                            std::vector<std::pair<std::string, std::string>>& tagged) const {
  return tagger_.TagSentence(sentence, tagged, *this);
}

const DictTrie& MPSegment::Dictionary() const { return dict_trie_; }

}  // namespace lumo::typing::text::jieba
