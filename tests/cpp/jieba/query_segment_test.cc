#include "tokenizer/jieba/query_segment.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jieba/engine_data.h"
#include "tokenizer/jieba/mix_segment.h"

namespace lumo::typing::text::jieba {
namespace {

using lumo::testing::EngineFiles;
using lumo::testing::LogMessages;
using lumo::testing::StderrCapture;
using lumo::testing::WordsOf;
using Words = std::vector<std::string>;

// Long words are frequent enough that the dictionary pass keeps them whole.
constexpr const char* kMain =
    "中国 10 ns\n人民 10 n\n中国人 10 n\n中国人民 1000 nt\n"
    "甲乙 10 n\n甲乙甲乙 1000 n\n"
    "丙丁甲 1000 n\n丙丁 10 n\n丁甲 10 n\n"
    "乙丙 1000 n\n";

class QuerySegmentTest : public ::testing::Test {
 protected:
  QuerySegmentTest()
      : dict_(files_.Dict(kMain, "国人民\n")), model_(files_.Model()), query_(*dict_, *model_),
        mixed_(*dict_, *model_) {}

  EngineFiles files_;
  std::unique_ptr<DictTrie> dict_;
  std::unique_ptr<HMMModel> model_;
  QuerySegment query_;
  MixSegment mixed_;
};

struct QueryCase {
  std::string sentence;
  Words mixed;     // what the mixed segmenter gives
  Words expected;  // what the query segmenter gives
};

class QuerySegmentCases : public QuerySegmentTest, public ::testing::WithParamInterface<QueryCase> {};

TEST_P(QuerySegmentCases, SubWordsPrecedeEachLongWord) {
  EXPECT_EQ(WordsOf(mixed_, GetParam().sentence), GetParam().mixed);
  EXPECT_EQ(WordsOf(query_, GetParam().sentence), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sentences, QuerySegmentCases,
    ::testing::Values(
        // Pairs (中国, 人民), then triples (中国人, and the user word 国人民),
        // then the word.
        QueryCase{"中国人民", {"中国人民"}, {"中国", "人民", "中国人", "国人民", "中国人民"}},
        // A pair that occurs twice is listed twice.
        QueryCase{"甲乙甲乙", {"甲乙甲乙"}, {"甲乙", "甲乙", "甲乙甲乙"}},
        // A three-rune word: its pairs, no triples.
        QueryCase{"丙丁甲", {"丙丁甲"}, {"丙丁", "丁甲", "丙丁甲"}},
        // Words of one or two runes come out as the mixed segmenter gives them.
        QueryCase{"乙丙甲", {"乙丙", "甲"}, {"乙丙", "甲"}},
        QueryCase{"中国人民 乙丙", {"中国人民", " ", "乙丙"}, {"中国", "人民", "中国人", "国人民", "中国人民", " ", "乙丙"}},
        QueryCase{"", {}, {}}));

TEST_F(QuerySegmentTest, RecordFormMatchesStringForm) {
  std::vector<WordRecord> records;
  query_.SplitSentence("x中国人民", records);
  ASSERT_EQ(records.size(), 6u);
  EXPECT_EQ(records[1].text, "中国");
  EXPECT_EQ(records[1].byte_offset, 1u);
  EXPECT_EQ(records[4].text, "国人民");
  EXPECT_EQ(records[4].rune_offset, 2u);
  EXPECT_EQ(records[5].text, "中国人民");
  EXPECT_EQ(records[5].rune_length, 4u);
}

TEST_F(QuerySegmentTest, UndecodableSentenceGivesNothingAndOneErrorLine) {
  StderrCapture capture;
  EXPECT_TRUE(WordsOf(query_, "中国\xE4").empty());
  EXPECT_EQ(LogMessages(capture.Finish()), std::vector<std::string>{"ERROR decode failed. "});
}

}  // namespace
}  // namespace lumo::typing::text::jieba
