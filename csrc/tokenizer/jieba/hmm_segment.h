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

class HMMSegment : public RangeSegmenter<HMMSegment> {
 public:
  // model is not owned and must outlive the segmenter.
  explicit HMMSegment(const HMMModel& model);
  HMMSegment(const HMMSegment&) = delete;  // holds references to the engine's resources
  HMMSegment& operator=(const HMMSegment&) = delete;
  HMMSegment(HMMSegment&&) = delete;
  HMMSegment& operator=(HMMSegment&&) = delete;
  ~HMMSegment() override;

  // Gives sink the words of range in text order: a run of ASCII letters and
  // digits that starts with a letter, a run of ASCII digits and full stops
  // that starts with a digit, any other ASCII rune alone, and the words that
  // Viterbi decoding finds in the stretches between.
  void SplitRunes(const RangeText& range, WordSink& sink, SegmentWorkspace& workspace) const;

  // The same words as SplitRunes for runes[0, size), written as the rune
  // count of each word at the word's first position of lengths (the other
  // positions are left as they are).
  void WordLengths(const Rune* runes, std::size_t size, std::uint32_t* lengths, SegmentWorkspace& workspace) const;

  // Fills states with the most likely state (kStateB ... kStateS) of every
  // rune of [begin, end), which holds at least one rune. The last state is
  // always kStateE or kStateS.
  void DecodeStates(const DecodedRune* begin, const DecodedRune* end, std::vector<std::uint64_t>& states) const;

  // The position after the letter run (letters and digits after a letter) or
  // number run (digits and full stops after a digit) that starts at start, or
  // start itself when no such run starts there. start is before end. Rune is
  // a code point or a DecodedRune.
  template <typename RuneType>
  static const RuneType* LetterRunEnd(const RuneType* start, const RuneType* end) {
    if (start == end || !IsAsciiLetter(CodePointOf(*start))) return start;
    const RuneType* rune = start + 1;
    while (rune != end && (IsAsciiLetter(CodePointOf(*rune)) || IsAsciiDigit(CodePointOf(*rune)))) ++rune;
    return rune;
  }
  template <typename RuneType>
  static const RuneType* NumberRunEnd(const RuneType* start, const RuneType* end) {
    if (start == end || !IsAsciiDigit(CodePointOf(*start))) return start;
    const RuneType* rune = start + 1;
    while (rune != end && (IsAsciiDigit(CodePointOf(*rune)) || CodePointOf(*rune) == '.')) ++rune;
    return rune;
  }

 private:
  static bool IsAsciiLetter(Rune c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
  static bool IsAsciiDigit(Rune c) { return c >= '0' && c <= '9'; }
  static Rune CodePointOf(Rune rune) { return rune; }
  static Rune CodePointOf(const DecodedRune& rune) { return rune.code_point; }

  // Viterbi over runes[0, size), size >= 1: fills states[x] with the state
  // of rune x (kStateB ... kStateS). states holds size bytes; it keeps the
  // back-pointers of each rune (2 bits per state) until the trace-back
  // replaces them by the states, so decoding needs one byte per rune.
  void Viterbi(const Rune* runes, std::size_t size, std::uint8_t* states) const;

  // Viterbi over runes[0, size), then a word after every E or S state,
  // written as in WordLengths.
  void ModelCut(const Rune* runes, std::size_t size, std::uint32_t* lengths, SegmentWorkspace& workspace) const;

  const HMMModel& model_;
};

}  // namespace lumo::typing::text::jieba
