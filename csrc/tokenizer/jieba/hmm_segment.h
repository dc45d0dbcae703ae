// The HMM segmenter: cuts ASCII words and numbers by fixed rules and labels
// every other rune with a state of the HMM model by Viterbi decoding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tokenizer/jieba/hmm_model.h"
#include "tokenizer/jieba/segment_base.h"

namespace lumo::typing::text::jieba {

class HMMSegment : public SegmentBase {
 public:
  // model is not owned and must outlive the segmenter.
  explicit HMMSegment(const HMMModel& model);
  HMMSegment(const HMMSegment&) = delete;  // holds references to the engine's resources
  HMMSegment& operator=(const HMMSegment&) = delete;
  HMMSegment(HMMSegment&&) = delete;
  HMMSegment& operator=(HMMSegment&&) = delete;
  ~HMMSegment() override;

  // Replaces words (or records) by the words of sentence. A sentence that does
  // not decode gives no words and the ERROR line "decode failed. ".
  void SplitSentence(std::string_view sentence, std::vector<std::string>& words) const override;
  void SplitSentence(std::string_view sentence, std::vector<WordRecord>& records) const;

  // Appends to ranges the words of the runes [begin, end) in text order: a run
  // of ASCII letters and digits that starts with a letter, a run of ASCII
  // digits and full stops that starts with a digit, any other ASCII rune
  // alone, and the words that Viterbi decoding finds in the stretches between.
  void SplitRange(const DecodedRune* begin, const DecodedRune* end, std::vector<WordRange>& ranges) const;

  // Fills states with the most likely state (kStateB ... kStateS) of every
  // rune of [begin, end), which holds at least one rune. The last state is
  // always kStateE or kStateS.
  void DecodeStates(const DecodedRune* begin, const DecodedRune* end, std::vector<std::uint64_t>& states) const;

  // The position after the letter run (letters and digits after a letter) or
  // number run (digits and full stops after a digit) that starts at start, or
  // start itself when no such run starts there. start is before end.
  static const DecodedRune* LetterRunEnd(const DecodedRune* start, const DecodedRune* end);
  static const DecodedRune* NumberRunEnd(const DecodedRune* start, const DecodedRune* end);

 private:
  // Viterbi over [first, last), then a word after every E or S state.
  void ModelCut(const DecodedRune* first, const DecodedRune* last, std::vector<WordRange>& ranges) const;

  const HMMModel& model_;
};

}  // namespace lumo::typing::text::jieba
