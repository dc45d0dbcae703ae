// What every segmenter shares: the separator set, the sentence pre-filter that
// cuts a sentence into ranges at separator runes, word ranges, and the
// conversions from word ranges back to words cut from the sentence's bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tokenizer/jieba/rune.h"
#include "tokenizer/jieba/separator_set.h"
#include "tokenizer/jieba/word_record.h"

namespace lumo::typing::text::jieba {

class DictTrie;

// Space, tab, line feed, U+FF0C (full-width comma), U+3002 (ideographic full
// stop): the runes at which every segmenter cuts a sentence into ranges.
inline constexpr std::string_view SPECIAL_SEPARATORS{" \t\n\xEF\xBC\x8C\xE3\x80\x82", 9};

// One word: the runes first to last, both inclusive, of the rune list of one
// sentence. Valid only while that rune list lives.
struct WordRange {
  const DecodedRune* first = nullptr;
  const DecodedRune* last = nullptr;
};

// Cuts one sentence into ranges: every maximal run of non-separator runes, and
// every separator rune on its own, in text order. Owns the decoded runes; the
// ranges (and the word ranges built from them) point into them, so the
// pre-filter must outlive every range it hands out.
class PreFilter {
 public:
  // [begin, end) of the pre-filter's runes; never empty.
  struct Range {
    const DecodedRune* begin = nullptr;
    const DecodedRune* end = nullptr;
  };

  // Decodes sentence. A sentence that does not decode writes the ERROR line
  // "decode failed. " and yields no range.
  PreFilter(const SeparatorSet& separators, std::string_view sentence);
  PreFilter(const PreFilter&) = delete;
  PreFilter& operator=(const PreFilter&) = delete;
  PreFilter(PreFilter&&) = delete;  // handed-out ranges point into runes_
  PreFilter& operator=(PreFilter&&) = delete;

  bool HasMore() const { return cursor_ != runes_.size(); }

  // The next range; moves past it. Only called while HasMore().
  Range NextRange();

  const RuneList& Runes() const { return runes_; }

 private:
  std::size_t cursor_ = 0;
  RuneList runes_;
  const SeparatorSet& separators_;
};

// Appends one record per word range, in order: the word's bytes copied from
// sentence, its byte offset, rune offset and rune count. The ranges must point
// into the rune list decoded from this very sentence.
void WordRangesToRecords(std::string_view sentence, const std::vector<WordRange>& ranges,
                         std::vector<WordRecord>& records);

// Replaces words by the texts of records, in order. The records' texts are
// moved out, so records is left with empty texts.
void RecordsToStrings(std::vector<WordRecord>& records, std::vector<std::string>& words);

// Replaces words by the bytes of the word ranges, in order: the same words as
// WordRangesToRecords followed by RecordsToStrings, without the records.
void WordRangesToStrings(std::string_view sentence, const std::vector<WordRange>& ranges,
                         std::vector<std::string>& words);

// The abstract segmenter. Every segmenter cuts a sentence the same way: a
// PreFilter over the segmenter's own separators_, its range operation on every
// range into one word-range list, then the words. That sentence operation is
// the protected template SplitSentenceWith, which runs any range operation
// given to it; a derived class implements both forms of SplitSentence as
//   SplitSentenceWith(sentence, out, [this](const DecodedRune* begin,
//       const DecodedRune* end, std::vector<WordRange>& ranges) {
//     SplitRange(begin, end, ranges); });
// so the range operation is called directly, without a virtual call per range.
//
// Segmentation is const and thread-safe: several threads may segment with one
// object at once. Segmenters are neither copied nor moved: most hold
// references to the dictionary or model that the engine owns.
class SegmentBase {
 public:
  // Fills separators_ from SPECIAL_SEPARATORS; a failure writes the FATAL line
  // "exp: [ResetSeparators(SPECIAL_SEPARATORS)] false. " and throws FatalError.
  SegmentBase();
  SegmentBase(const SegmentBase&) = delete;
  SegmentBase& operator=(const SegmentBase&) = delete;
  SegmentBase(SegmentBase&&) = delete;
  SegmentBase& operator=(SegmentBase&&) = delete;
  virtual ~SegmentBase();

  // Replaces words by the words of sentence (UTF-8), in order. A sentence
  // that does not decode gives no words and one ERROR line.
  virtual void SplitSentence(std::string_view sentence, std::vector<std::string>& words) const = 0;

 protected:
  // Replaces the separator set by the distinct runes of separators. Returns
  // false after an ERROR line when separators does not decode ("decode <s>
  // failed"; the set stays empty) or holds a rune twice ("<rune> already
  // exists"; the runes before it stay in). Only for construction: it must not
  // run while the segmenter is in use.
  bool ResetSeparators(std::string_view separators);

  // The shared sentence operation, record form: records is replaced by the
  // words that split_range(begin, end, ranges) appends for each range.
  template <typename RangeOperation>
  void SplitSentenceWith(std::string_view sentence, std::vector<WordRecord>& records,
                         const RangeOperation& split_range) const {
    PreFilter filter(separators_, sentence);
    std::vector<WordRange> ranges;
    CollectRanges(filter, sentence, ranges, split_range);
    records.clear();
    records.reserve(ranges.size());
    WordRangesToRecords(sentence, ranges, records);
  }

  // The shared sentence operation, string form: words is replaced (resized and
  // overwritten, never appended to) by the same words as the record form.
  template <typename RangeOperation>
  void SplitSentenceWith(std::string_view sentence, std::vector<std::string>& words,
                         const RangeOperation& split_range) const {
    PreFilter filter(separators_, sentence);
    std::vector<WordRange> ranges;
    CollectRanges(filter, sentence, ranges, split_range);
    WordRangesToStrings(sentence, ranges, words);
  }

  SeparatorSet separators_;

 private:
  template <typename RangeOperation>
  static void CollectRanges(PreFilter& filter, std::string_view sentence, std::vector<WordRange>& ranges,
                            const RangeOperation& split_range) {
    if (sentence.size() >= 2) ranges.reserve(sentence.size() / 2);
    while (filter.HasMore()) {
      const PreFilter::Range range = filter.NextRange();
      split_range(range.begin, range.end, ranges);
    }
  }
};

// A segmenter that can also tag its words with parts of speech.
class SegmentTagged : public SegmentBase {
 public:
  SegmentTagged() = default;
  SegmentTagged(const SegmentTagged&) = delete;
  SegmentTagged& operator=(const SegmentTagged&) = delete;
  SegmentTagged(SegmentTagged&&) = delete;
  SegmentTagged& operator=(SegmentTagged&&) = delete;
  ~SegmentTagged() override;

  // Appends (word, tag) for every word of SplitSentence(sentence) to tagged
  // (not cleared first); returns whether tagged is non-empty afterwards.
  virtual bool TagSentence(std::string_view sentence,
                           std::vector<std::pair<std::string, std::string>>& tagged) const = 0;

  // The dictionary that the segmenter looks words and tags up in.
  virtual const DictTrie& Dictionary() const = 0;
};

}  // namespace lumo::typing::text::jieba
