#include "tokenizer/jieba/mix_segment.h"

namespace lumo::typing::text::jieba {

MixSegment::MixSegment(const DictTrie& dict_trie, const HMMModel& model)
    : mp_segment_(dict_trie), hmm_segment_(model), user_single_runes_(kMappedRunes / 64, 0) {
  for (Rune code_point = 0; code_point < kMappedRunes; ++code_point) {
    if (dict_trie.IsUserSingleRuneWord(code_point)) {
      user_single_runes_[code_point >> 6] |= std::uint64_t{1} << (code_point & 63);
    }
  }
}

MixSegment::~MixSegment() = default;

void MixSegment::SplitRunes(const RangeText& range, WordSink& sink, SegmentWorkspace& workspace) const {
  std::uint32_t* lengths = workspace.WordLengths(range.size);
  WordLengths(range.runes, range.size, lengths, workspace);
  sink.AddLengths(lengths, range.size);
}

void MixSegment::WordLengths(const Rune* runes, std::size_t size, std::uint32_t* lengths,
                             SegmentWorkspace& workspace) const {
  mp_segment_.BestWordLengths(runes, size, lengths);
  // The dictionary words from position 0 on; the HMM rewrites the lengths of
  // each stretch of one-rune words in place, so its words stand exactly where
  // the stretch stood.
  const auto stays_as_is = [&](std::size_t i) { return lengths[i] != 1 || IsUserSingleRune(runes[i]); };
  for (std::size_t i = 0; i < size;) {
    if (stays_as_is(i)) {
      i += lengths[i];
      continue;
    }
    // Every word from i to j - 1 has one rune, so each position is a word start.
    std::size_t j = i + 1;
    while (j < size && !stays_as_is(j)) ++j;
    if (j - i > 1) hmm_segment_.WordLengths(runes + i, j - i, lengths + i, workspace);
    i = j;
  }
}

bool MixSegment::TagSentence(std::string_view sentence,
                             std::vector<std::pair<std::string, std::string>>& tagged) const {
  return tagger_.TagSentence(sentence, tagged, *this);
}

const DictTrie& MixSegment::Dictionary() const { return mp_segment_.Dictionary(); }

}  // namespace lumo::typing::text::jieba
