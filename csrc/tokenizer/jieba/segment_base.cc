#include "tokenizer/jieba/segment_base.h"

#include "tokenizer/jieba/log.h"

namespace lumo::typing::text::jieba {

PreFilter::PreFilter(const SeparatorSet& separators, std::string_view sentence) : separators_(separators) {
  if (!DecodeRunes(sentence, runes_)) LUMO_LOG_ERROR << "decode failed. ";
}

PreFilter::Range PreFilter::NextRange() {
  const DecodedRune* runes = runes_.data();
  const std::size_t begin = cursor_;
  const std::size_t size = runes_.size();
  while (cursor_ < size) {
    if (separators_.contains(runes[cursor_].code_point)) {
      // A separator forms a range of its own: alone when it starts the range,
      // else it ends the current range and starts the next one.
      if (cursor_ == begin) ++cursor_;
      return Range{runes + begin, runes + cursor_};
    }
    ++cursor_;
  }
  return Range{runes + begin, runes + cursor_};
}

namespace {

std::string_view WordBytes(std::string_view sentence, const WordRange& range) {
  const std::uint32_t begin = range.first->byte_offset;
  const std::uint32_t end = range.last->byte_offset + range.last->byte_length;
  return sentence.substr(begin, end - begin);
}

}  // namespace

void WordRangesToRecords(std::string_view sentence, const std::vector<WordRange>& ranges,
                         std::vector<WordRecord>& records) {
  for (const WordRange& range : ranges) {
    WordRecord record;
    record.text.assign(WordBytes(sentence, range));
    record.byte_offset = range.first->byte_offset;
    record.rune_offset = range.first->rune_offset;
    record.rune_length = range.last->rune_offset + range.last->rune_length - range.first->rune_offset;
    records.push_back(std::move(record));
  }
}

void RecordsToStrings(std::vector<WordRecord>& records, std::vector<std::string>& words) {
  words.resize(records.size());
  for (std::size_t i = 0; i < records.size(); ++i) words[i] = std::move(records[i].text);
}

void WordRangesToStrings(std::string_view sentence, const std::vector<WordRange>& ranges,
                         std::vector<std::string>& words) {
  words.resize(ranges.size());
  for (std::size_t i = 0; i < ranges.size(); ++i) words[i].assign(WordBytes(sentence, ranges[i]));
}

SegmentBase::SegmentBase() {
  LUMO_FATAL_CHECK(ResetSeparators(SPECIAL_SEPARATORS));
}

SegmentBase::~SegmentBase() = default;

bool SegmentBase::ResetSeparators(std::string_view separators) {
  separators_.clear();
  RuneList runes;
  if (!DecodeRunes(separators, runes)) {
    LUMO_LOG_ERROR << "decode " << separators << " failed";
    return false;
  }
  for (const DecodedRune& rune : runes) {
    if (!separators_.insert(rune.code_point)) {
      LUMO_LOG_ERROR << separators.substr(rune.byte_offset, rune.byte_length) << " already exists";
      return false;
    }
  }
  return true;
}

SegmentTagged::~SegmentTagged() = default;

}  // namespace lumo::typing::text::jieba
