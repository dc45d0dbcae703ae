// What every segmenter shares: the separator set, the sentence pre-filter that
// cuts a sentence into ranges at separator runes, the one sentence operation
// that runs a segmenter's range algorithm over every range, and the
// conversions of its words into strings, records or byte slices.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tokenizer/jieba/rune.h"
#include "tokenizer/jieba/segment_workspace.h"
#include "tokenizer/jieba/separator_set.h"
#include "tokenizer/jieba/word_record.h"

namespace lumo::typing::text::jieba {

class DictTrie;

// Space, tab, line feed, U+FF0C (full-width comma), U+3002 (ideographic full
// stop): the runes at which every segmenter cuts a sentence into ranges.
inline constexpr std::string_view SPECIAL_SEPARATORS{" \t\n\xEF\xBC\x8C\xE3\x80\x82", 9};

// One word: the runes first to last, both inclusive, of a decoded rune list.
// Valid only while that rune list lives.
struct WordRange {
  const DecodedRune* first = nullptr;
  const DecodedRune* last = nullptr;
};

// Reads a UTF-8 sentence rune by rune for the pre-filter. Offsets count bytes.
class Utf8Reader {
 public:
  Utf8Reader(std::string_view sentence)  // NOLINT: implicit, as the sentence it reads
      : bytes_(reinterpret_cast<const unsigned char*>(sentence.data())), size_(sentence.size()) {}
  Utf8Reader(const char* sentence) : Utf8Reader(std::string_view(sentence)) {}  // NOLINT

  std::size_t size() const { return size_; }
  // Sets code_point to the rune at offset (below size()) and returns the
  // units it takes, or 0 when it does not decode.
  std::uint32_t Read(std::size_t offset, Rune& code_point) const {
    return DecodeOneRune(bytes_ + offset, size_ - offset, code_point);
  }
  // The number of runes of well-formed text, for reserving room. Malformed
  // text can decode to more: a stray continuation byte leads a rune of its
  // own, so that a run of them decodes to one rune per two bytes while none
  // of them counts here. Only size() bounds every text.
  std::size_t RuneEstimate() const { return CountLeadBytes(reinterpret_cast<const char*>(bytes_), size_); }
  static constexpr bool kEstimateBoundsRunes = false;

 private:
  const unsigned char* bytes_;
  std::size_t size_;
};

// Reads a text of one code point per unit (a str's storage): nothing to
// decode, and offsets count code points.
template <typename Unit>
class CodePointReader {
 public:
  CodePointReader(const Unit* units, std::size_t size) : units_(units), size_(size) {}

  std::size_t size() const { return size_; }
  std::uint32_t Read(std::size_t offset, Rune& code_point) const {
    code_point = units_[offset];
    return 1;
  }
  std::size_t RuneEstimate() const { return size_; }
  static constexpr bool kEstimateBoundsRunes = true;

 private:
  const Unit* units_;
  std::size_t size_;
};

// Calls visit with the reader of text's unit width and returns what it returns.
template <typename Visit>
decltype(auto) VisitCodePoints(const CodePointText& text, Visit&& visit) {
  switch (text.width) {
    case 1: return visit(CodePointReader<std::uint8_t>(static_cast<const std::uint8_t*>(text.data), text.size));
    case 2: return visit(CodePointReader<std::uint16_t>(static_cast<const std::uint16_t*>(text.data), text.size));
    default: return visit(CodePointReader<std::uint32_t>(static_cast<const std::uint32_t*>(text.data), text.size));
  }
}

// Writes the ERROR line of a sentence that does not decode.
void LogDecodeFailed();

// Cuts one sentence into ranges: every maximal run of non-separator runes, and
// every separator rune on its own, in text order. Decodes one range at a time,
// so that the memory of a sentence operation follows its longest range, not
// the whole sentence. Reader is Utf8Reader or a CodePointReader.
template <typename Reader>
class BasicPreFilter {
 public:
  // The text that reader reads must outlive the filter.
  BasicPreFilter(const SeparatorSet& separators, Reader reader) : reader_(reader), separators_(separators) {}
  BasicPreFilter(const BasicPreFilter&) = delete;
  BasicPreFilter& operator=(const BasicPreFilter&) = delete;

  bool HasMore() const { return cursor_ < reader_.size(); }

  // What NextRange returns when the next range holds more runes than room.
  static constexpr std::size_t kNoRoom = static_cast<std::size_t>(-1);

  // Writes the code points of the next range (never empty) to runes and the
  // sentence offset of each of its runes, followed by the offset just past
  // the range, to offsets; moves past it and returns its rune count. runes
  // must have room for `room` runes and offsets for one more. With room
  // reader.RuneEstimate(), every range of well-formed text fits; when one
  // does not (malformed UTF-8), returns kNoRoom without moving, and a call
  // with room reader.size() fits any range. Only called while HasMore().
  // When the sentence does not decode at the cursor (a lead byte 0xF8..0xFF,
  // or a sequence cut off by the end), writes the ERROR line "decode
  // failed. ", returns 0 and hands out no more ranges.
  std::size_t NextRange(Rune* runes, std::uint32_t* offsets, std::size_t room) {
    const std::size_t size = reader_.size();
    std::size_t cursor = cursor_;
    std::size_t count = 0;
    while (cursor < size) {
      Rune code_point = 0;
      const std::uint32_t used = reader_.Read(cursor, code_point);
      if (used == 0) {
        LogDecodeFailed();
        cursor_ = size;
        return 0;
      }
      // A reader whose estimate bounds the runes needs no test per rune.
      if constexpr (!Reader::kEstimateBoundsRunes) {
        if (count == room) return kNoRoom;
      }
      if (separators_.contains(code_point)) {
        // A separator forms a range of its own: alone when it starts the
        // range, else it ends the current range and starts the next one.
        if (count == 0) {
          runes[0] = code_point;
          offsets[0] = static_cast<std::uint32_t>(cursor);
          count = 1;
          cursor += used;
        }
        break;
      }
      runes[count] = code_point;
      offsets[count] = static_cast<std::uint32_t>(cursor);
      ++count;
      cursor += used;
    }
    offsets[count] = static_cast<std::uint32_t>(cursor);
    cursor_ = cursor;
    return count;
  }

 private:
  Reader reader_;
  std::size_t cursor_ = 0;
  const SeparatorSet& separators_;
};

using PreFilter = BasicPreFilter<Utf8Reader>;

// Appends one record per word range, in order: the word's bytes copied from
// sentence, its byte offset, rune offset and rune count. The ranges must point
// into the rune list decoded from this very sentence.
void WordRangesToRecords(std::string_view sentence, const std::vector<WordRange>& ranges,
                         std::vector<WordRecord>& records);

// Replaces words by the bytes of the slices of sentence, in order.
void SlicesToStrings(std::string_view sentence, const std::vector<WordSlice>& slices,
                     std::vector<std::string>& words);

// Replaces records by the slices of sentence with their texts, byte offsets,
// rune offsets and rune counts. The slices must lie on rune boundaries of
// sentence, which must decode.
void SlicesToRecords(std::string_view sentence, const std::vector<WordSlice>& slices,
                     std::vector<WordRecord>& records);

// The abstract segmenter: its separator set and the string form of the
// sentence operation.
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

  bool IsSeparator(Rune code_point) const { return separators_.contains(code_point); }

 protected:
  // Replaces the separator set by the distinct runes of separators. Returns
  // false after an ERROR line when separators does not decode ("decode <s>
  // failed"; the set stays empty) or holds a rune twice ("<rune> already
  // exists"; the runes before it stay in). Only for construction: it must not
  // run while the segmenter is in use.
  bool ResetSeparators(std::string_view separators);

  SeparatorSet separators_;
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

// The sentence operation, shared by every segmenter: slices is replaced by
// the words that segmenter.SplitRunes gives for each pre-filter range of the
// text that reader reads, in text order, as offsets and lengths in the
// reader's units. A range of one separator rune is always a word of its own
// (every range algorithm makes a one-rune range one word), so it is not
// handed to the range algorithm. A sentence that does not decode gives no
// words and one ERROR line.
template <typename Segmenter, typename Reader>
void SplitReaderToSlices(const Segmenter& segmenter, const Reader& reader, std::vector<WordSlice>& slices) {
  slices.clear();
  if (reader.size() == 0) return;
  SegmentWorkspace& workspace = SegmentWorkspace::OfThisThread();
  std::size_t room = reader.RuneEstimate();
  Rune* runes = workspace.Runes(room);
  std::uint32_t* offsets = workspace.ByteOffsets(room + 1);
  slices.reserve(room);  // a word has at least one rune: room for most results
  BasicPreFilter<Reader> filter(segmenter.Separators(), reader);
  while (filter.HasMore()) {
    std::size_t count = filter.NextRange(runes, offsets, room);
    if (count == BasicPreFilter<Reader>::kNoRoom) {
      // Malformed UTF-8 with more runes than lead bytes: room for one rune
      // per byte holds any range.
      room = reader.size();
      runes = workspace.Runes(room);
      offsets = workspace.ByteOffsets(room + 1);
      count = filter.NextRange(runes, offsets, room);
    }
    if (count == 0) {
      slices.clear();
      break;
    }
    if (count == 1 && segmenter.IsSeparator(runes[0])) {
      slices.push_back(WordSlice{offsets[0], offsets[1] - offsets[0]});
      continue;
    }
    WordSink sink(offsets, slices);
    segmenter.SplitRunes(RangeText{runes, offsets, count}, sink, workspace);
  }
  workspace.ReleaseIfLarge();
}

// The sentence operation over UTF-8: slices count bytes.
template <typename Segmenter>
void SplitSentenceToSlices(const Segmenter& segmenter, std::string_view sentence, std::vector<WordSlice>& slices) {
  SplitReaderToSlices(segmenter, Utf8Reader(sentence), slices);
}

// The sentence operation over a str's code points: slices count code points.
template <typename Segmenter>
void SplitSentenceToSlices(const Segmenter& segmenter, const CodePointText& text, std::vector<WordSlice>& slices) {
  VisitCodePoints(text, [&](const auto& reader) { SplitReaderToSlices(segmenter, reader, slices); });
}

// Every form of the sentence operation for a segmenter Derived that defines
//   void SplitRunes(const RangeText& range, WordSink& sink,
//                   SegmentWorkspace& workspace) const;
// which gives the words of one range, as inclusive rune positions of the
// range, to sink in output order. Base is SegmentBase or SegmentTagged.
template <typename Derived, typename Base = SegmentBase>
class RangeSegmenter : public Base {
 public:
  // Replaces words (or records, or slices) by the words of sentence. A
  // sentence that does not decode gives no words and the ERROR line "decode
  // failed. ".
  void SplitSentence(std::string_view sentence, std::vector<std::string>& words) const override {
    std::vector<WordSlice> slices;
    SplitSentenceToSlices(Self(), sentence, slices);
    SlicesToStrings(sentence, slices, words);
  }
  void SplitSentence(std::string_view sentence, std::vector<WordRecord>& records) const {
    std::vector<WordSlice> slices;
    SplitSentenceToSlices(Self(), sentence, slices);
    SlicesToRecords(sentence, slices, records);
  }
  void SplitSentence(std::string_view sentence, std::vector<WordSlice>& slices) const {
    SplitSentenceToSlices(Self(), sentence, slices);
  }
  // The words of a text of code points, as code point offsets and lengths.
  void SplitSentence(const CodePointText& text, std::vector<WordSlice>& slices) const {
    SplitSentenceToSlices(Self(), text, slices);
  }

  // Appends to ranges the words of the runes [begin, end) of one decoded
  // rune list, as the sentence operation gives them for a range.
  void SplitRange(const DecodedRune* begin, const DecodedRune* end, std::vector<WordRange>& ranges) const {
    const auto size = static_cast<std::size_t>(end - begin);
    if (size == 0) return;
    std::vector<Rune> runes(size);
    std::vector<std::uint32_t> positions(size + 1);  // "byte offsets" that count runes
    for (std::size_t k = 0; k < size; ++k) {
      runes[k] = begin[k].code_point;
      positions[k] = static_cast<std::uint32_t>(k);
    }
    positions[size] = static_cast<std::uint32_t>(size);
    std::vector<WordSlice> words;
    WordSink sink(positions.data(), words);
    Self().SplitRunes(RangeText{runes.data(), positions.data(), size}, sink, SegmentWorkspace::OfThisThread());
    for (const WordSlice& word : words) {
      ranges.push_back(WordRange{begin + word.byte_offset, begin + word.byte_offset + word.byte_length - 1});
    }
  }

  const SeparatorSet& Separators() const { return this->separators_; }

 private:
  const Derived& Self() const { return static_cast<const Derived&>(*this); }
};

}  // namespace lumo::typing::text::jieba
