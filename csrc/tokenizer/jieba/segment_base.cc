#include "tokenizer/jieba/segment_base.h"

#include <algorithm>

#include "common/log.h"

namespace lumo::typing::text::jieba {

void LogDecodeFailed() { LUMO_LOG_ERROR << "decode failed. "; }

SegmentWorkspace& SegmentWorkspace::OfThisThread() {
  thread_local SegmentWorkspace workspace;
  return workspace;
}

void WordRangesToRecords(std::string_view sentence, const std::vector<WordRange>& ranges,
                         std::vector<WordRecord>& records) {
  for (const WordRange& range : ranges) {
    const std::uint32_t begin = range.first->byte_offset;
    const std::uint32_t end = range.last->byte_offset + range.last->byte_length;
    WordRecord record;
    record.text.assign(sentence.substr(begin, end - begin));
    record.byte_offset = begin;
    record.rune_offset = range.first->rune_offset;
    record.rune_length = range.last->rune_offset + range.last->rune_length - range.first->rune_offset;
    records.push_back(std::move(record));
  }
}

void SlicesToStrings(std::string_view sentence, const std::vector<WordSlice>& slices,
                     std::vector<std::string>& words) {
  words.resize(slices.size());
  for (std::size_t i = 0; i < slices.size(); ++i) {
    words[i].assign(sentence.data() + slices[i].byte_offset, slices[i].byte_length);
  }
}

void SlicesToRecords(std::string_view sentence, const std::vector<WordSlice>& slices,
                     std::vector<WordRecord>& records) {
  records.clear();
  RuneList runes;
  if (slices.empty() || !DecodeRunes(sentence, runes)) return;
  // The rune that starts at a byte offset, or the end of the list.
  const auto rune_at = [&runes](std::uint32_t byte_offset) {
    return static_cast<std::uint32_t>(
        std::lower_bound(runes.begin(), runes.end(), byte_offset,
                         [](const DecodedRune& rune, std::uint32_t offset) { return rune.byte_offset < offset; }) -
        runes.begin());
  };
  records.reserve(slices.size());
  for (const WordSlice& slice : slices) {
    WordRecord record;
    record.text.assign(sentence.data() + slice.byte_offset, slice.byte_length);
    record.byte_offset = slice.byte_offset;
    record.rune_offset = rune_at(slice.byte_offset);
    record.rune_length = rune_at(slice.byte_offset + slice.byte_length) - record.rune_offset;
    records.push_back(std::move(record));
  }
}

SegmentBase::SegmentBase() {
  LUMO_FATAL_CHECK(ResetSeparators(SPECIAL_SEPARATORS), "ResetSeparators(SPECIAL_SEPARATORS)");
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
