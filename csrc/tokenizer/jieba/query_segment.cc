#include "tokenizer/jieba/query_segment.h"

#include <cstddef>

namespace lumo::typing::text::jieba {

namespace {

// A scratch list longer than this is freed after use, so that one very long
// range does not pin its memory to the thread for good.
constexpr std::size_t kKeptScratchWords = 4096;

}  // namespace

QuerySegment::QuerySegment(const DictTrie& dict_trie, const HMMModel& model)
    : mix_seg_(dict_trie, model), dict_trie_(dict_trie) {}

QuerySegment::~QuerySegment() = default;

void QuerySegment::SplitSentence(std::string_view sentence, std::vector<std::string>& words) const {
  SplitSentenceWith(sentence, words, [this](const DecodedRune* begin, const DecodedRune* end,
                                            std::vector<WordRange>& ranges) { SplitRange(begin, end, ranges); });
}

void QuerySegment::SplitSentence(std::string_view sentence, std::vector<WordRecord>& records) const {
  SplitSentenceWith(sentence, records, [this](const DecodedRune* begin, const DecodedRune* end,
                                              std::vector<WordRange>& ranges) { SplitRange(begin, end, ranges); });
}

void QuerySegment::SplitRange(const DecodedRune* begin, const DecodedRune* end,
                              std::vector<WordRange>& ranges) const {
  // The mixed words of the range, reused per thread: no allocation per range.
  thread_local std::vector<WordRange> mixed;
  mixed.clear();
  mix_seg_.SplitRange(begin, end, mixed);
  for (const WordRange& word : mixed) {
    const auto length = static_cast<std::size_t>(word.last - word.first) + 1;
    for (std::size_t width = 2; width <= 3; ++width) {
      if (length <= width) break;
      for (const DecodedRune* first = word.first; first + width <= word.last + 1; ++first) {
        if (dict_trie_.LookupWord(first, first + width) != nullptr) {
          ranges.push_back(WordRange{first, first + width - 1});
        }
      }
    }
    ranges.push_back(word);
  }
  if (mixed.capacity() > kKeptScratchWords) std::vector<WordRange>().swap(mixed);
}

}  // namespace lumo::typing::text::jieba
