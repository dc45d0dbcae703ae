#include "tokenizer/jieba/mix_segment.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "jieba/segmenter_fixtures.h"

namespace lumo::typing::text::jieba {
namespace {

using lumo::testing::Cut;
using lumo::testing::CutLogged;
using lumo::testing::DataFiles;
using lumo::testing::kToyModel;
using lumo::testing::Words;

// Multi-rune words of the main dictionary, and 丁 as a one-rune word of the
// main dictionary only. The HMM (the toy model) knows 甲 B, 丁 M, 乙 E, 丙 S.
constexpr const char* kMainDict =
    "中国 4 ns\n"
    "人民 3 n\n"
    "丁 1 n\n";

struct MixCase {
  const char* name;
  std::string user_dict;
  std::string sentence;
  Words words;
};

class MixSegmentCutTest : public ::testing::TestWithParam<MixCase> {};

TEST_P(MixSegmentCutTest, DictionaryPassThenHmmOverStretchesOfSingles) {
  DataFiles files;
  auto trie = files.Dict(kMainDict, GetParam().user_dict);
  auto model = files.Model(kToyModel);
  const MixSegment segment(*trie, *model);
  const auto [words, log] = CutLogged(segment, GetParam().sentence);
  EXPECT_EQ(words, GetParam().words);
  EXPECT_TRUE(log.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Sentences, MixSegmentCutTest,
    ::testing::Values(
        MixCase{"Empty", "", "", {}},
        MixCase{"OnlyDictionaryWords", "", "中国人民", {"中国", "人民"}},
        // Only the stretch between the words is decoded; the HMM would make
        // every rune of 中国 a word of its own, since it knows neither.
        MixCase{"StretchBetweenTwoWords", "", "中国甲丁乙丙人民", {"中国", "甲丁乙", "丙", "人民"}},
        // 丁 is a one-rune word of the main dictionary only: no protection.
        MixCase{"MainDictionarySingleDoesNotSplitAStretch", "", "甲丁乙", {"甲丁乙"}},
        // As a user word, 丁 splits the stretch: 甲 and 乙 are decoded apart.
        MixCase{"UserSingleRuneWordSplitsAStretch", "丁\n", "甲丁乙", {"甲", "丁", "乙"}},
        MixCase{"UserSingleAtTheEdges", "丁\n", "丁甲乙丁", {"丁", "甲乙", "丁"}},
        MixCase{"AsciiRunsAssembledByTheRules", "", "abc123中国3.14人民a.b",
                {"abc123", "中国", "3.14", "人民", "a", ".", "b"}},
        MixCase{"SeparatorsAreWordsOfTheirOwn", "", "中国，人民 甲乙", {"中国", "，", "人民", " ", "甲乙"}},
        MixCase{"UnknownRunesStaySingle", "", "中国很好", {"中国", "很", "好"}}),
    [](const ::testing::TestParamInfo<MixCase>& info) { return info.param.name; });

TEST(MixSegmentTest, UserSingleRuneWordsAboveTheBasicPlaneSplitAStretchToo) {
  // The toy model, with U+20000 as a second inner rune (state M).
  std::string model_text(lumo::testing::kToyModel);
  const std::string inner = "丁:-1\n";
  model_text.replace(model_text.find(inner), inner.size(), "丁:-1,\xF0\xA0\x80\x80:-1\n");
  DataFiles files;
  auto model = files.Model(model_text);
  auto main_only = files.Dict(kMainDict);
  auto with_user = files.Dict(kMainDict, "\xF0\xA0\x80\x80\n");
  const std::string sentence = "甲\xF0\xA0\x80\x80乙";
  EXPECT_EQ(Cut(MixSegment(*main_only, *model), sentence), (Words{sentence}));
  EXPECT_EQ(Cut(MixSegment(*with_user, *model), sentence), (Words{"甲", "\xF0\xA0\x80\x80", "乙"}));
}

TEST(MixSegmentTest, SentenceThatDoesNotDecodeGivesNothingButOneLogLine) {
  DataFiles files;
  auto trie = files.Dict(kMainDict);
  auto model = files.Model(kToyModel);
  const MixSegment segment(*trie, *model);
  const auto [words, log] = CutLogged(segment, "中国\xF8人民");
  EXPECT_TRUE(words.empty());
  EXPECT_EQ(log, (std::vector<std::string>{"ERROR decode failed. "}));
}

TEST(MixSegmentTest, RecordFormAndDictionary) {
  DataFiles files;
  auto trie = files.Dict(kMainDict);
  auto model = files.Model(kToyModel);
  const MixSegment segment(*trie, *model);
  std::vector<WordRecord> records;
  segment.SplitSentence("ab中国", records);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[1].text, "中国");
  EXPECT_EQ(records[1].byte_offset, 2u);
  EXPECT_EQ(records[1].rune_offset, 2u);
  EXPECT_EQ(records[1].rune_length, 2u);
  EXPECT_EQ(&segment.Dictionary(), trie.get());
}

TEST(MixSegmentTest, SplitRangeAppendsInTextOrder) {
  DataFiles files;
  auto trie = files.Dict(kMainDict);
  auto model = files.Model(kToyModel);
  const MixSegment segment(*trie, *model);
  RuneList runes;
  ASSERT_TRUE(DecodeRunes("甲乙中国丙", runes));
  std::vector<WordRange> ranges{WordRange{&runes[0], &runes[1]}};
  segment.SplitRange(runes.begin() + 2, runes.end(), ranges);
  ASSERT_EQ(ranges.size(), 3u);
  EXPECT_EQ(ranges[1].first, &runes[2]);
  EXPECT_EQ(ranges[1].last, &runes[3]);
  EXPECT_EQ(ranges[2].first, &runes[4]);
  EXPECT_EQ(ranges[2].last, &runes[4]);
}

TEST(MixSegmentTest, ThreadsSegmentingWithOneObjectGetTheSameWords) {
  DataFiles files;
  auto trie = files.Dict(kMainDict);
  auto model = files.Model(kToyModel);
  const MixSegment segment(*trie, *model);
  // Ranges of different lengths, so that every thread grows its scratch lists.
  std::string text;
  for (int i = 0; i < 300; ++i) text += std::string("中国甲丁乙丙人民abc") + std::string(i % 7 == 0 ? "，" : "") + "12.5丙";
  const Words expected = Cut(segment, text);
  ASSERT_GT(expected.size(), 2000u);
  std::vector<Words> results(4);
  std::vector<std::thread> threads;
  for (Words& result : results) {
    threads.emplace_back([&segment, &text, &result] {
      for (int round = 0; round < 20; ++round) result = Cut(segment, text);
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const Words& result : results) EXPECT_EQ(result, expected);
}

}  // namespace
}  // namespace lumo::typing::text::jieba
