#include "tokenizer/jieba/full_segment.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jieba/engine_data.h"

namespace lumo::typing::text::jieba {
namespace {

using lumo::testing::EngineFiles;
using lumo::testing::LogMessages;
using lumo::testing::StderrCapture;
using lumo::testing::WordsOf;
using Words = std::vector<std::string>;

class FullSegmentTest : public ::testing::Test {
 protected:
  // 中, 中国, 国人, 中国人, 人民, 民; 国 and 人 only start words.
  FullSegmentTest()
      : dict_(files_.Dict("中 5 n\n中国 10 ns\n国人 3 n\n中国人 4 n\n人民 8 n\n民 2 n\n")), segment_(*dict_) {}

  EngineFiles files_;
  std::unique_ptr<DictTrie> dict_;
  FullSegment segment_;
};

struct FullCase {
  std::string sentence;
  Words expected;
};

class FullSegmentCases : public FullSegmentTest, public ::testing::WithParamInterface<FullCase> {};

TEST_P(FullSegmentCases, ListsEveryWordAndEveryUncoveredRune) {
  EXPECT_EQ(WordsOf(segment_, GetParam().sentence), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sentences, FullSegmentCases,
    ::testing::Values(
        // Overlapping words by start, then end; runes inside them not again.
        FullCase{"中国人民", {"中国", "中国人", "国人", "人民"}},
        FullCase{"中国", {"中国"}},
        // A one-rune word where no longer word starts and nothing covers it.
        FullCase{"民中", {"民", "中"}},
        FullCase{"人民民", {"人民", "民"}},
        // Runes the dictionary does not know stay in the output, also after
        // a long word (the covered index never runs ahead of them).
        FullCase{"中国人甲乙", {"中国", "中国人", "国人", "甲", "乙"}},
        FullCase{"甲中国乙", {"甲", "中国", "乙"}},
        // Separators are ranges of their own.
        FullCase{"中国 人民。", {"中国", " ", "人民", "。"}},
        FullCase{"", {}}));

TEST_F(FullSegmentTest, RecordsCarryOffsets) {
  std::vector<WordRecord> records;
  segment_.SplitSentence("a中国人", records);
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[1].text, "中国");
  EXPECT_EQ(records[1].byte_offset, 1u);
  EXPECT_EQ(records[1].rune_offset, 1u);
  EXPECT_EQ(records[1].rune_length, 2u);
  EXPECT_EQ(records[3].text, "国人");
  EXPECT_EQ(records[3].byte_offset, 4u);
}

TEST_F(FullSegmentTest, UndecodableSentenceGivesNothingAndOneErrorLine) {
  StderrCapture capture;
  EXPECT_TRUE(WordsOf(segment_, "中国\xFF").empty());
  EXPECT_EQ(LogMessages(capture.Finish()), std::vector<std::string>{"ERROR decode failed. "});
}

}  // namespace
}  // namespace lumo::typing::text::jieba
