#include "tokenizer/jieba/segment_base.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "jieba/segmenter_fixtures.h"
#include "support/log_lines.h"
#include "support/stderr_capture.h"
#include "tokenizer/jieba/separator_set.h"

namespace lumo::typing::text::jieba {
namespace {

using lumo::testing::CutLogged;
using lumo::testing::LogMessages;
using lumo::testing::StderrCapture;
using lumo::testing::Words;

// A segmenter whose range operation makes every pre-filter range one word, so
// that its words are exactly the ranges of the shared sentence operation.
class RangeEchoSegment : public RangeSegmenter<RangeEchoSegment> {
 public:
  using SegmentBase::ResetSeparators;

  void SplitRunes(const RangeText& range, WordSink& sink, SegmentWorkspace&) const { sink.Add(0, range.size - 1); }
  std::size_t SeparatorCount() const { return separators_.size(); }
};

struct RangeCase {
  const char* name;
  std::string sentence;
  Words ranges;
};

class PreFilterRangesTest : public ::testing::TestWithParam<RangeCase> {};

TEST_P(PreFilterRangesTest, CutsAtEverySeparatorRune) {
  const RangeEchoSegment segment;
  const auto [words, log] = CutLogged(segment, GetParam().sentence);
  EXPECT_EQ(words, GetParam().ranges);
  EXPECT_TRUE(log.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Sentences, PreFilterRangesTest,
    ::testing::Values(RangeCase{"Empty", "", {}},
                      RangeCase{"OnlySeparators", "  ，", {" ", " ", "，"}},
                      RangeCase{"CommaBetweenTexts", "甲乙，丙", {"甲乙", "，", "丙"}},
                      RangeCase{"SeparatorsAtBothEnds", " ab。", {" ", "ab", "。"}},
                      RangeCase{"LineFeedCutsCarriageReturnDoesNot", "a\nb\rc", {"a", "\n", "b\rc"}},
                      RangeCase{"TabAndFullStopInARow", "ab\t。cd", {"ab", "\t", "。", "cd"}},
                      RangeCase{"OtherFullWidthPunctuationStays", "甲、乙；", {"甲、乙；"}},
                      RangeCase{"NoSeparator", "甲乙丙", {"甲乙丙"}}),
    [](const ::testing::TestParamInfo<RangeCase>& info) { return info.param.name; });

// A pre-filter of a sentence at spaces, with buffers of room runes.
struct SpaceFilter {
  static SeparatorSet Spaces() {
    SeparatorSet spaces;
    spaces.insert(' ');
    return spaces;
  }
  SpaceFilter(std::string_view sentence, std::size_t room)
      : filter(separators, sentence),
        runes(std::make_unique<Rune[]>(room)),
        offsets(std::make_unique<std::uint32_t[]>(room + 1)) {}
  std::size_t Next(std::size_t room) { return filter.NextRange(runes.get(), offsets.get(), room); }
  std::vector<std::uint32_t> Offsets(std::size_t count) const { return {offsets.get(), offsets.get() + count}; }

  const SeparatorSet separators = Spaces();
  PreFilter filter;
  std::unique_ptr<Rune[]> runes;
  std::unique_ptr<std::uint32_t[]> offsets;
};

// Stray continuation bytes lead runes of their own but count as no rune in
// the estimate: the range then needs room for one rune per byte.
TEST(PreFilterTest, MalformedRangeLongerThanTheEstimateAsksForRoom) {
  const std::string_view sentence = "\xB9\xB9\xB9\xB9\xB9\xB9 a";
  SpaceFilter filter(sentence, sentence.size());
  const std::size_t estimate = Utf8Reader(sentence).RuneEstimate();
  ASSERT_EQ(estimate, 2u);  // the space and the a
  EXPECT_EQ(filter.Next(estimate), PreFilter::kNoRoom);
  ASSERT_EQ(filter.Next(sentence.size()), 3u);
  EXPECT_EQ(filter.Offsets(4), (std::vector<std::uint32_t>{0, 2, 4, 6}));
  EXPECT_EQ(filter.Next(estimate), 1u);
}

TEST(PreFilterTest, DecodesOneRangeAtATimeWithItsByteOffsets) {
  const std::string_view sentence = "a\xE7\x94\xB2 c\xFF";
  // Exactly the room the contract asks for: ASan reports a write past it.
  const std::size_t room = Utf8Reader(sentence).RuneEstimate();
  SpaceFilter filter(sentence, room);
  ASSERT_EQ(filter.Next(room), 2u);
  EXPECT_EQ(std::vector<Rune>(filter.runes.get(), filter.runes.get() + 2), (std::vector<Rune>{'a', 0x7532}));
  EXPECT_EQ(filter.Offsets(3), (std::vector<std::uint32_t>{0, 1, 4}));
  ASSERT_EQ(filter.Next(room), 1u);
  EXPECT_EQ(filter.runes[0], Rune{' '});
  EXPECT_EQ(filter.Offsets(2), (std::vector<std::uint32_t>{4, 5}));
  ASSERT_TRUE(filter.filter.HasMore());
  StderrCapture capture;
  EXPECT_EQ(filter.Next(room), 0u);  // the faulty byte comes after c
  EXPECT_EQ(LogMessages(capture.Finish()), (std::vector<std::string>{"ERROR decode failed. "}));
  EXPECT_FALSE(filter.filter.HasMore());
}

TEST(SegmentBaseTest, SentenceThatDoesNotDecodeGivesNoWordAndOneErrorLine) {
  const RangeEchoSegment segment;
  for (const std::string& sentence : {std::string("ab\xF8" "cd"), std::string("甲\xFF"), std::string("甲\xE4")}) {
    const auto [words, log] = CutLogged(segment, sentence);
    EXPECT_TRUE(words.empty());
    EXPECT_EQ(log, (std::vector<std::string>{"ERROR decode failed. "}));
  }
}

TEST(SegmentBaseTest, StringFormReplacesTheCallersList) {
  const RangeEchoSegment segment;
  Words words{"old", "older", "oldest", "stale"};
  segment.SplitSentence("甲 乙", words);
  EXPECT_EQ(words, (Words{"甲", " ", "乙"}));
  segment.SplitSentence("", words);
  EXPECT_TRUE(words.empty());
}

TEST(SegmentBaseTest, RecordFormReplacesAndCarriesOffsets) {
  const RangeEchoSegment segment;
  std::vector<WordRecord> records(3);
  segment.SplitSentence("a甲乙，b", records);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].text, "a甲乙");
  EXPECT_EQ(records[0].byte_offset, 0u);
  EXPECT_EQ(records[0].rune_offset, 0u);
  EXPECT_EQ(records[0].rune_length, 3u);
  EXPECT_EQ(records[1].text, "，");
  EXPECT_EQ(records[1].byte_offset, 7u);
  EXPECT_EQ(records[1].rune_offset, 3u);
  EXPECT_EQ(records[1].rune_length, 1u);
  EXPECT_EQ(records[2].text, "b");
  EXPECT_EQ(records[2].byte_offset, 10u);
  EXPECT_EQ(records[2].rune_offset, 4u);
}

TEST(WordRangesTest, RangeBecomesAnExactSliceWithItsOffsets) {
  const std::string sentence = "甲乙丙";
  RuneList runes;
  ASSERT_TRUE(DecodeRunes(sentence, runes));
  std::vector<WordRecord> records{WordRecord{"kept", 9, 9, 9}};
  WordRangesToRecords(sentence, {WordRange{&runes[1], &runes[2]}, WordRange{&runes[0], &runes[0]}}, records);
  ASSERT_EQ(records.size(), 3u);  // appended after the record already there
  EXPECT_EQ(records[0].text, "kept");
  EXPECT_EQ(records[1].text, "乙丙");
  EXPECT_EQ(records[1].byte_offset, 3u);
  EXPECT_EQ(records[1].rune_offset, 1u);
  EXPECT_EQ(records[1].rune_length, 2u);
  EXPECT_EQ(records[2].text, "甲");
  EXPECT_EQ(records[2].rune_length, 1u);
}

TEST(WordRangesTest, MalformedBytesAreReturnedAsTheyStood) {
  // 0x80 leads a two-byte form in the lenient decoder: the word keeps both bytes.
  const std::string sentence = "\x80" "A" "b";
  const RangeEchoSegment segment;
  std::vector<std::string> words;
  segment.SplitSentence(sentence, words);
  EXPECT_EQ(words, (Words{sentence}));
}

TEST(ResetSeparatorsTest, ReplacesTheSetByTheDistinctRunes) {
  RangeEchoSegment segment;
  EXPECT_EQ(segment.SeparatorCount(), 5u);
  EXPECT_TRUE(segment.ResetSeparators("|、"));
  EXPECT_EQ(segment.SeparatorCount(), 2u);
  EXPECT_FALSE(segment.IsSeparator(' '));
  EXPECT_EQ(lumo::testing::Cut(segment, "a|b c、d"), (Words{"a", "|", "b c", "、", "d"}));
}

TEST(ResetSeparatorsTest, DuplicateRuneIsReportedAndKeepsTheRunesBeforeIt) {
  RangeEchoSegment segment;
  StderrCapture capture;
  EXPECT_FALSE(segment.ResetSeparators("a，b，c"));
  EXPECT_EQ(LogMessages(capture.Finish()), (std::vector<std::string>{"ERROR ， already exists"}));
  EXPECT_EQ(segment.SeparatorCount(), 3u);
  EXPECT_TRUE(segment.IsSeparator('b'));
  EXPECT_FALSE(segment.IsSeparator('c'));
}

TEST(ResetSeparatorsTest, UndecodableStringLeavesTheSetEmpty) {
  RangeEchoSegment segment;
  StderrCapture capture;
  EXPECT_FALSE(segment.ResetSeparators("a\xF8"));
  EXPECT_EQ(LogMessages(capture.Finish()), (std::vector<std::string>{"ERROR decode a\xF8 failed"}));
  EXPECT_EQ(segment.SeparatorCount(), 0u);
}

TEST(SeparatorSetTest, BehavesAsASetOfCodePoints) {
  SeparatorSet set;
  EXPECT_TRUE(set.empty());
  for (Rune code_point : {Rune{0}, Rune{63}, Rune{64}, Rune{127}, Rune{128}, Rune{0x3002}, Rune{0x10FFFF}}) {
    EXPECT_FALSE(set.contains(code_point)) << code_point;
    EXPECT_TRUE(set.insert(code_point)) << code_point;
    EXPECT_TRUE(set.contains(code_point)) << code_point;
    EXPECT_FALSE(set.insert(code_point)) << code_point;
  }
  EXPECT_EQ(set.size(), 7u);
  for (Rune absent : {Rune{1}, Rune{65}, Rune{126}, Rune{129}, Rune{0x3001}}) EXPECT_FALSE(set.contains(absent));
  set.clear();
  EXPECT_FALSE(set.contains(127));
  EXPECT_FALSE(set.contains(0x3002));
  EXPECT_EQ(set.size(), 0u);
}

}  // namespace
}  // namespace lumo::typing::text::jieba
