#include "tokenizer/jieba/pos_tagger.h"

#include <cstddef>

#include "tokenizer/jieba/dict_trie.h"
#include "common/log.h"

namespace lumo::typing::text::jieba {

bool PosTagger::TagSentence(std::string_view sentence, std::vector<std::pair<std::string, std::string>>& tagged,
                            const SegmentTagged& segmenter) const {
  std::vector<std::string> words;
  segmenter.SplitSentence(sentence, words);
  for (std::string& word : words) {
    std::string tag = TagOfWord(word, segmenter);
    tagged.emplace_back(std::move(word), std::move(tag));
  }
  return !tagged.empty();
}

std::string PosTagger::TagOfWord(std::string_view word, const SegmentTagged& segmenter) const {
  RuneList runes;
  if (!DecodeRunes(word, runes)) {
    LUMO_LOG_ERROR << "Decode failed.";
    return "x";
  }
  const DictEntry* entry = segmenter.Dictionary().LookupWord(runes.begin(), runes.end());
  if (entry != nullptr && !entry->tag.empty()) return entry->tag;
  return GuessTag(runes.begin(), runes.end());
}

std::string PosTagger::GuessTag(const DecodedRune* begin, const DecodedRune* end) {
  const std::size_t half = static_cast<std::size_t>(end - begin) / 2;
  std::size_t ascii = 0;
  std::size_t digits = 0;
  for (const DecodedRune* rune = begin; rune != end && ascii < half; ++rune) {
    if (rune->code_point < 0x80) {
      ++ascii;
      if (rune->code_point >= '0' && rune->code_point <= '9') ++digits;
    }
  }
  if (ascii == 0) return "x";
  if (digits == ascii) return "m";
  return "eng";
}

}  // namespace lumo::typing::text::jieba
