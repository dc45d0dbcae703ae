#include "tokenizer/jieba/mix_segment.h"

#include <cstddef>

namespace lumo::typing::text::jieba {

namespace {

// Scratch lists longer than this are freed after use, so that one very long
// range does not pin its memory to the thread for good.
constexpr std::size_t kKeptScratchWords = 4096;

std::vector<WordRange>& DictionaryWordsOfThisThread() {
  thread_local std::vector<WordRange> words;
  return words;
}

}  // namespace

MixSegment::MixSegment(const DictTrie& dict_trie, const HMMModel& model)
    : mp_segment_(dict_trie), hmm_segment_(model), user_single_runes_(kMappedRunes / 64, 0) {
  for (Rune code_point = 0; code_point < kMappedRunes; ++code_point) {
    if (dict_trie.IsUserSingleRuneWord(code_point)) {
      user_single_runes_[code_point >> 6] |= std::uint64_t{1} << (code_point & 63);
    }
  }
}

MixSegment::~MixSegment() = default;

void MixSegment::SplitSentence(std::string_view sentence, std::vector<std::string>& words) const {
  SplitSentenceWith(sentence, words, [this](const DecodedRune* begin, const DecodedRune* end,
                                            std::vector<WordRange>& ranges) { SplitRange(begin, end, ranges); });
}

void MixSegment::SplitSentence(std::string_view sentence, std::vector<WordRecord>& records) const {
  SplitSentenceWith(sentence, records, [this](const DecodedRune* begin, const DecodedRune* end,
                                              std::vector<WordRange>& ranges) { SplitRange(begin, end, ranges); });
}

void MixSegment::SplitRange(const DecodedRune* begin, const DecodedRune* end, std::vector<WordRange>& ranges) const {
  // The dictionary words of the range, reused per thread so that the walk
  // below allocates nothing once the list has grown to the longest range.
  std::vector<WordRange>& words = DictionaryWordsOfThisThread();
  words.clear();
  words.reserve(static_cast<std::size_t>(end - begin));
  mp_segment_.SplitRange(begin, end, words);

  const auto stays_as_is = [this](const WordRange& word) {
    return word.first != word.last || IsUserSingleRune(word.first->code_point);
  };
  // The HMM segmenter appends straight to ranges: its words of a stretch come
  // out in text order, exactly where the stretch stood.
  for (std::size_t i = 0; i < words.size();) {
    if (stays_as_is(words[i])) {
      ranges.push_back(words[i]);
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    while (j < words.size() && !stays_as_is(words[j])) ++j;
    hmm_segment_.SplitRange(words[i].first, words[j - 1].last + 1, ranges);
    i = j;
  }

  if (words.capacity() > kKeptScratchWords) std::vector<WordRange>().swap(words);
}

bool MixSegment::TagSentence(std::string_view sentence,
                             std::vector<std::pair<std::string, std::string>>& tagged) const {
  return tagger_.TagSentence(sentence, tagged, *this);
}

const DictTrie& MixSegment::Dictionary() const { return mp_segment_.Dictionary(); }

}  // namespace lumo::typing::text::jieba
