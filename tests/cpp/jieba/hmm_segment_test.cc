#include "tokenizer/jieba/hmm_segment.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "jieba/segmenter_fixtures.h"

namespace lumo::typing::text::jieba {
namespace {

using lumo::testing::Cut;
using lumo::testing::CutLogged;
using lumo::testing::DataFiles;
using lumo::testing::kFlatModel;
using lumo::testing::kToyModel;
using lumo::testing::Words;

using States = std::vector<std::uint64_t>;

struct CutCase {
  const char* name;
  std::string sentence;
  Words words;
};

class HMMSegmentToyTest : public ::testing::TestWithParam<CutCase> {};

TEST_P(HMMSegmentToyTest, CutsAsTheRulesAndTheModelSay) {
  DataFiles files;
  auto model = files.Model(kToyModel);
  const HMMSegment segment(*model);
  const auto [words, log] = CutLogged(segment, GetParam().sentence);
  EXPECT_EQ(words, GetParam().words);
  EXPECT_TRUE(log.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Sentences, HMMSegmentToyTest,
    ::testing::Values(
        CutCase{"Empty", "", {}},
        // ASCII runs, cut by the fixed rules.
        CutCase{"LettersThenDigitsAreOneWord", "abc123", {"abc123"}},
        CutCase{"DigitsThenLettersAreTwo", "123abc", {"123", "abc"}},
        CutCase{"DecimalNumber", "3.14", {"3.14"}},
        CutCase{"DottedNumber", "1.2.3", {"1.2.3"}},
        CutCase{"FullStopBetweenLetters", "a.b", {"a", ".", "b"}},
        CutCase{"LeadingFullStop", ".5", {".", "5"}},
        CutCase{"LetterRunStopsAtFullStop", "x1.5", {"x1", ".", "5"}},
        CutCase{"OtherAsciiAlone", "A_b-c!", {"A", "_", "b", "-", "c", "!"}},
        CutCase{"SeparatorsStayApart", "ab  cd", {"ab", " ", " ", "cd"}},
        // The model: 甲 B, 丁 M, 乙 E, 丙 S.
        CutCase{"BeginInnerEnd", "甲丁乙", {"甲丁乙"}},
        CutCase{"WordThenSingle", "甲乙丙", {"甲乙", "丙"}},
        CutCase{"TwoSingles", "丙丙", {"丙", "丙"}},
        CutCase{"ModelStretchesBetweenAscii", "甲乙abc丙甲乙", {"甲乙", "abc", "丙", "甲乙"}},
        CutCase{"LoneNonAsciiRuneBetweenAscii", "a甲b", {"a", "甲", "b"}},
        // Unknown runes pin every cell at MIN_LOG_PROB with back-pointer E.
        CutCase{"UnknownRunesComeOutOneByOne", "中文字", {"中", "文", "字"}},
        CutCase{"FullWidthDigitsGoToTheModel", "１２３", {"１", "２", "３"}}),
    [](const ::testing::TestParamInfo<CutCase>& info) { return info.param.name; });

class HMMSegmentDecodeTest : public ::testing::Test {
 protected:
  States Decode(const HMMSegment& segment, const std::string& text) {
    RuneList runes;
    EXPECT_TRUE(DecodeRunes(text, runes));
    States states{9, 9, 9, 9, 9, 9, 9, 9};
    segment.DecodeStates(runes.begin(), runes.end(), states);
    return states;
  }
  DataFiles files_;
};

TEST_F(HMMSegmentDecodeTest, ToyModelStates) {
  auto model = files_.Model(kToyModel);
  const HMMSegment segment(*model);
  EXPECT_EQ(Decode(segment, "甲丁丁乙丙"), (States{kStateB, kStateM, kStateM, kStateE, kStateS}));
  EXPECT_EQ(Decode(segment, "丙"), (States{kStateS}));
}

TEST_F(HMMSegmentDecodeTest, EqualValuesKeepTheEarlierPreviousState) {
  // Every path scores 0: each cell keeps B, the first previous state tried,
  // and the final tie between E and S goes to E. So B B ... B E: one word.
  auto model = files_.Model(kFlatModel);
  const HMMSegment segment(*model);
  EXPECT_EQ(Decode(segment, "甲乙丙丁"), (States{kStateB, kStateB, kStateB, kStateE}));
  EXPECT_EQ(Decode(segment, "甲"), (States{kStateE}));
  EXPECT_EQ(Cut(segment, "甲乙丙丁"), (Words{"甲乙丙丁"}));
}

TEST_F(HMMSegmentDecodeTest, UnknownRunesDecodeAsAllE) {
  auto model = files_.Model(kFlatModel);
  const HMMSegment segment(*model);
  EXPECT_EQ(Decode(segment, "中文"), (States{kStateE, kStateE}));
  // From an unknown rune on, every cell stays at MIN_LOG_PROB with
  // back-pointer E, known runes after it too; the rune before it is put in E.
  EXPECT_EQ(Decode(segment, "甲中乙"), (States{kStateE, kStateE, kStateE}));
  EXPECT_EQ(Decode(segment, "甲乙中丙丁"), (States{kStateB, kStateE, kStateE, kStateE, kStateE}));
  EXPECT_EQ(Cut(segment, "甲乙中丙丁"), (Words{"甲乙", "中", "丙", "丁"}));
}

TEST_F(HMMSegmentDecodeTest, ValuesAreSummedInTheWrittenOrder) {
  // Into E at 乙: from B, (0 + 0) + 1e16 = 1e16; from M, (1 + 1) + 1e16 =
  // 1e16 + 2, so M wins. Summed as 1 + (1 + 1e16) or (1 + 1e16) + 1, the M
  // path would round to 1e16 and B would keep the tie.
  auto model = files_.Model(
      "0 -3.14e+100 1 -3.14e+100\n"
      "0 0 0 0\n0 0 0 0\n0 1 0 0\n0 0 0 0\n"
      "甲:0\n甲:0,乙:1e16\n甲:0\n甲:0\n");
  const HMMSegment segment(*model);
  EXPECT_EQ(Decode(segment, "甲乙"), (States{kStateM, kStateE}));
}

TEST(HMMSegmentTest, RunEndsReturnTheStartWhenNoRunStartsThere) {
  RuneList runes;
  ASSERT_TRUE(DecodeRunes("a1.2b", runes));
  const DecodedRune* end = runes.end();
  EXPECT_EQ(HMMSegment::LetterRunEnd(&runes[0], end), &runes[2]);
  EXPECT_EQ(HMMSegment::NumberRunEnd(&runes[0], end), &runes[0]);
  EXPECT_EQ(HMMSegment::LetterRunEnd(&runes[1], end), &runes[1]);
  EXPECT_EQ(HMMSegment::NumberRunEnd(&runes[1], end), &runes[4]);
  EXPECT_EQ(HMMSegment::LetterRunEnd(&runes[2], end), &runes[2]);
  EXPECT_EQ(HMMSegment::NumberRunEnd(&runes[2], end), &runes[2]);
  EXPECT_EQ(HMMSegment::LetterRunEnd(&runes[4], end), end);
}

TEST(HMMSegmentTest, SentenceThatDoesNotDecodeGivesNothingButOneLogLine) {
  DataFiles files;
  auto model = files.Model(kToyModel);
  const HMMSegment segment(*model);
  const auto [words, log] = CutLogged(segment, "甲乙\xFE");
  EXPECT_TRUE(words.empty());
  EXPECT_EQ(log, (std::vector<std::string>{"ERROR decode failed. "}));
}

TEST(HMMSegmentTest, LongStretchesDecodeLikeShortOnes) {
  // Longer than the scratch tables that a thread keeps between calls.
  DataFiles files;
  auto model = files.Model(kToyModel);
  const HMMSegment segment(*model);
  std::string text;
  Words expected;
  for (int i = 0; i < 20000; ++i) {
    text += "甲丁乙丙";
    expected.push_back("甲丁乙");
    expected.push_back("丙");
  }
  EXPECT_EQ(Cut(segment, text), expected);
  EXPECT_EQ(Cut(segment, "甲乙丙"), (Words{"甲乙", "丙"}));
}

}  // namespace
}  // namespace lumo::typing::text::jieba
