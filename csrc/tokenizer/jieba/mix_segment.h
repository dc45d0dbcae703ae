// The mixed segmenter behind cut: the dictionary pass, then the HMM over every
// stretch of one-rune words that the user dictionary does not hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tokenizer/jieba/dict_trie.h"
#include "tokenizer/jieba/hmm_model.h"
#include "tokenizer/jieba/hmm_segment.h"
#include "tokenizer/jieba/mp_segment.h"
#include "tokenizer/jieba/pos_tagger.h"
#include "tokenizer/jieba/segment_base.h"

namespace lumo::typing::text::jieba {

class MixSegment : public RangeSegmenter<MixSegment, SegmentTagged> {
 public:
  // Neither dict_trie nor model is owned; both must outlive the segmenter.
  MixSegment(const DictTrie& dict_trie, const HMMModel& model);
  MixSegment(const MixSegment&) = delete;  // holds references to the engine's resources
  MixSegment& operator=(const MixSegment&) = delete;
  MixSegment(MixSegment&&) = delete;
  MixSegment& operator=(MixSegment&&) = delete;
  ~MixSegment() override;

  // Gives sink the words of range in text order: the max-probability words,
  // except that every stretch of consecutive one-rune words (a one-rune user
  // dictionary word ends a stretch and stays a word of its own) is cut again
  // by the HMM segmenter.
  void SplitRunes(const RangeText& range, WordSink& sink, SegmentWorkspace& workspace) const;

  // The same words as SplitRunes for runes[0, size), written as the rune
  // count of each word at the word's first position of lengths (the other
  // positions hold no word length). lengths holds size entries.
  void WordLengths(const Rune* runes, std::size_t size, std::uint32_t* lengths, SegmentWorkspace& workspace) const;

  bool TagSentence(std::string_view sentence,
                   std::vector<std::pair<std::string, std::string>>& tagged) const override;
  // The dictionary of the inner max-probability segmenter.
  const DictTrie& Dictionary() const override;

 private:
  // Whether the user dictionary holds code_point as a one-rune word: the
  // answer of the dictionary's IsUserSingleRuneWord, taken from a bit map for
  // the Basic Multilingual Plane (filled once at construction; the dictionary
  // never changes afterwards) and asked of the dictionary above it.
  bool IsUserSingleRune(Rune code_point) const {
    if (code_point < kMappedRunes) return (user_single_runes_[code_point >> 6] >> (code_point & 63)) & 1;
    return mp_segment_.Dictionary().IsUserSingleRuneWord(code_point);
  }

  static constexpr Rune kMappedRunes = 0x10000;

  MPSegment mp_segment_;
  HMMSegment hmm_segment_;
  PosTagger tagger_;
  std::vector<std::uint64_t> user_single_runes_;  // kMappedRunes bits
};

}  // namespace lumo::typing::text::jieba
