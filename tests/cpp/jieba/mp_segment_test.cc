#include "tokenizer/jieba/mp_segment.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "jieba/segmenter_fixtures.h"

namespace lumo::typing::text::jieba {
namespace {

using lumo::testing::Cut;
using lumo::testing::CutLogged;
using lumo::testing::DataFiles;
using lumo::testing::Words;

// Frequencies with a total of 8, so that every weight is the log of a power of
// two and sums of weights compare exactly: w(A) + w(B) = ln(1/2) + ln(1/4)
// equals w(AB) = ln(1/8). MinWeight is ln(1/8), less than w(A) + w(Q) would be
// with an unknown Q scored 0.
constexpr const char* kPowerOfTwoDict =
    "A 4 n\n"
    "B 2 n\n"
    "AB 1 n\n"
    "Z 1 n\n";

struct CutCase {
  const char* name;
  std::string main_dict;
  std::string sentence;
  Words words;
};

class MPSegmentCutTest : public ::testing::TestWithParam<CutCase> {};

TEST_P(MPSegmentCutTest, CutsIntoTheBestPath) {
  DataFiles files;
  auto trie = files.Dict(GetParam().main_dict);
  const MPSegment segment(*trie);
  const auto [words, log] = CutLogged(segment, GetParam().sentence);
  EXPECT_EQ(words, GetParam().words);
  EXPECT_TRUE(log.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Dictionaries, MPSegmentCutTest,
    ::testing::Values(
        CutCase{"EmptySentence", kPowerOfTwoDict, "", {}},
        CutCase{"OnlySeparators", kPowerOfTwoDict, "  ，", {" ", " ", "，"}},
        // ln(1/2) + ln(1/4) == ln(1/8): the one-rune word at 0 keeps the tie.
        CutCase{"ExactTieGoesToTheShorterWord", kPowerOfTwoDict, "AB", {"A", "B"}},
        CutCase{"TieRuleOnEveryRange", kPowerOfTwoDict, "AB AB", {"A", "B", " ", "A", "B"}},
        // w(AB) = ln(2/8) beats ln(4/8) + ln(2/8).
        CutCase{"HeavierLongWordWins", "A 4 n\nB 2 n\nAB 2 n\n", "AB", {"AB"}},
        // An unknown rune inside a word scores MinWeight = ln(1/8): A,Q is
        // ln(1/16) and loses to AQ = ln(1/8).
        CutCase{"UnknownRuneScoresMinWeight", "A 4 n\nB 2 n\nAQ 1 n\nZ 1 n\n", "AQ", {"AQ"}},
        CutCase{"UnknownRunesAreWordsOfTheirOwn", kPowerOfTwoDict, "QAR", {"Q", "A", "R"}},
        // At 1, BB (ln(1/8)) beats B,B (ln(1/16)); then at 0, A,BB
        // (ln(1/2) + ln(1/8)) beats AB,B (ln(1/8) + ln(1/4)).
        CutCase{"LaterWordsDecideEarlierOnes", "A 4 n\nB 2 n\nAB 1 n\nBB 1 n\n", "ABB", {"A", "BB"}},
        CutCase{"ChineseWords", "中国 3 ns\n人民 3 n\n中 1 n\n国人 1 n\n", "中国人民", {"中国", "人民"}}),
    [](const ::testing::TestParamInfo<CutCase>& info) { return info.param.name; });

TEST(MPSegmentTest, WordsUpTo512RunesAreFoundLongerOnesNot) {
  DataFiles files;
  const std::string w512(512, 'a');
  const std::string w513(513, 'b');
  auto trie = files.Dict(w512 + " 1 n\n" + w513 + " 1 n\nZ 1 n\n");
  const MPSegment segment(*trie);
  EXPECT_EQ(Cut(segment, w512), (Words{w512}));
  EXPECT_EQ(Cut(segment, w513), Words(513, "b"));
}

TEST(MPSegmentTest, SentenceThatDoesNotDecodeGivesNothingButOneLogLine) {
  DataFiles files;
  auto trie = files.Dict(kPowerOfTwoDict);
  const MPSegment segment(*trie);
  const auto [words, log] = CutLogged(segment, "AB AB\xE4\xB8");
  EXPECT_TRUE(words.empty());
  EXPECT_EQ(log, (std::vector<std::string>{"ERROR decode failed. "}));
}

TEST(MPSegmentTest, SplitRangeAppendsAfterEarlierWords) {
  DataFiles files;
  auto trie = files.Dict("A 4 n\nB 2 n\nAB 2 n\n");
  const MPSegment segment(*trie);
  RuneList runes;
  ASSERT_TRUE(DecodeRunes("ABAAB", runes));
  std::vector<WordRange> ranges{WordRange{&runes[0], &runes[0]}};
  segment.SplitRange(runes.begin() + 2, runes.end(), ranges);
  ASSERT_EQ(ranges.size(), 3u);
  EXPECT_EQ(ranges[1].first, &runes[2]);
  EXPECT_EQ(ranges[1].last, &runes[2]);
  EXPECT_EQ(ranges[2].first, &runes[3]);
  EXPECT_EQ(ranges[2].last, &runes[4]);
}

TEST(MPSegmentTest, RecordFormGivesOffsetsIntoTheSentence) {
  DataFiles files;
  auto trie = files.Dict("中国 3 ns\n人民 3 n\n");
  const MPSegment segment(*trie);
  std::vector<WordRecord> records{WordRecord{"stale", 1, 1, 1}};
  segment.SplitSentence("中国 人民", records);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[2].text, "人民");
  EXPECT_EQ(records[2].byte_offset, 7u);
  EXPECT_EQ(records[2].rune_offset, 3u);
  EXPECT_EQ(records[2].rune_length, 2u);
  EXPECT_EQ(&segment.Dictionary(), trie.get());
}

TEST(MPSegmentTest, UserWordsOverrideTheMainDictionaryWeight) {
  DataFiles files;
  // The user line gives AB the frequency 3: ln(3/8) beats ln(1/2) + ln(1/4).
  auto trie = files.Dict(kPowerOfTwoDict, "AB 3 n\n");
  const MPSegment segment(*trie);
  EXPECT_EQ(Cut(segment, "AB"), (Words{"AB"}));
}

}  // namespace
}  // namespace lumo::typing::text::jieba
