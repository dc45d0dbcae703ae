#include "tokenizer/jieba/hmm_model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jieba/segmenter_fixtures.h"
#include "tokenizer/jieba/constants.h"

namespace lumo::typing::text::jieba {
namespace {

using lumo::testing::DataFiles;
using lumo::testing::FatalOf;
using lumo::testing::kToyModel;

using Messages = std::vector<std::string>;

constexpr Rune kJia = 0x7532;   // 甲
constexpr Rune kYi = 0x4E59;    // 乙
constexpr Rune kBing = 0x4E19;  // 丙
constexpr Rune kDing = 0x4E01;  // 丁

// Nine significant lines with distinct values, so that every value read shows
// where it came from.
std::string NineLines(const std::string& emission_b = "甲:-1.5") {
  return "0.5 -1 -2 -3\n"
         "-10 -11 -12 -13\n"
         "-20 -21 -22 -23\n"
         "-30 -31 -32 -33\n"
         "-40 -41 -42 -43\n" +
         emission_b + "\n乙:-2.5\n丁:-3.5\n丙:-4.5\n";
}

TEST(HMMModelTest, ReadsStartTransitionsAndEmissionsInStateOrder) {
  DataFiles files;
  auto model = files.Model(NineLines());
  EXPECT_EQ(model->StartProb(kStateB), 0.5);
  EXPECT_EQ(model->StartProb(kStateS), -3);
  for (std::size_t from = 0; from < STATUS_SUM; ++from) {
    for (std::size_t to = 0; to < STATUS_SUM; ++to) {
      EXPECT_EQ(model->TransProb(from, to), -10.0 * static_cast<double>(from + 1) - static_cast<double>(to));
    }
  }
  EXPECT_EQ(model->EmissionOf(kStateB, kJia, 7), -1.5);
  EXPECT_EQ(model->EmissionOf(kStateE, kYi, 7), -2.5);
  EXPECT_EQ(model->EmissionOf(kStateM, kDing, 7), -3.5);
  EXPECT_EQ(model->EmissionOf(kStateS, kBing, 7), -4.5);
}

TEST(HMMModelTest, MissingRuneYieldsTheCallersDefault) {
  DataFiles files;
  auto model = files.Model(NineLines());
  EXPECT_EQ(model->EmissionOf(kStateE, kJia, 7), 7);
  EXPECT_EQ(model->EmissionOf(kStateB, 'x', MIN_LOG_PROB), MIN_LOG_PROB);
}

TEST(HMMModelTest, EmissionRowAgreesWithEmissionOf) {
  DataFiles files;
  auto model = files.Model(NineLines("甲:-1.5,\xF0\x9F\x98\x80:-9,乙:-0.25"));
  for (Rune code_point : {kJia, kYi, kBing, kDing, Rune{0x1F600}, Rune{0x1F601}, Rune{'a'}, Rune{0xFFFF}}) {
    const double* row = model->EmissionRow(code_point);
    for (std::size_t state = 0; state < STATUS_SUM; ++state) {
      EXPECT_EQ(row[state], model->EmissionOf(state, code_point, MIN_LOG_PROB)) << code_point << " " << state;
    }
  }
  EXPECT_EQ(model->EmissionRow(0x1F600)[kStateB], -9);
}

TEST(HMMModelTest, CommentsBlankLinesAndSurroundingSpaceAreSkipped) {
  DataFiles files;
  const std::string text =
      "# leading comment\n\n   \t\n"
      "  0.5 -1 -2 -3  \r\n"
      "   # indented comment\n"
      "-10 -11 -12 -13\n-20 -21 -22 -23\n\n-30 -31 -32 -33\n-40 -41 -42 -43\n"
      "#\n"
      "\t甲:-1.5\n乙:-2.5\n丁:-3.5\n丙:-4.5\n"
      "# trailing comment\n\n"
      "anything at all, never read\n";
  auto model = files.Model(text);
  EXPECT_EQ(model->StartProb(kStateB), 0.5);
  EXPECT_EQ(model->StartProb(kStateS), -3);
  EXPECT_EQ(model->TransProb(kStateM, kStateB), -30);
  EXPECT_EQ(model->EmissionOf(kStateB, kJia, 7), -1.5);
  EXPECT_EQ(model->EmissionOf(kStateS, kBing, 7), -4.5);
}

TEST(HMMModelTest, NumbersAreReadAsTheirDecimalPrefix) {
  DataFiles files;
  // Exponents are read; an empty field between two spaces and a field
  // without digits read as 0; trailing junk after a number is ignored.
  auto model = files.Model("-3.14e+100 1e-3  x\n-10 -11 -12 -13\n-20 -21 -22 -23\n-30 -31 -32 -33\n"
                           "-40 -41 -42 -43\n甲:2.5abc,乙:-1e2\n乙:0\n丁:0\n丙:0\n");
  EXPECT_EQ(model->StartProb(kStateB), -3.14e100);
  EXPECT_EQ(model->StartProb(kStateE), 1e-3);
  EXPECT_EQ(model->StartProb(kStateM), 0);
  EXPECT_EQ(model->StartProb(kStateS), 0);
  EXPECT_EQ(model->EmissionOf(kStateB, kJia, 7), 2.5);
  EXPECT_EQ(model->EmissionOf(kStateB, kYi, 7), -100);
}

TEST(HMMModelTest, RepeatedCharacterKeepsTheLaterValueAndTrailingCommaIsHarmless) {
  DataFiles files;
  auto model = files.Model(NineLines("甲:-1,乙:-2,甲:-3,"));
  EXPECT_EQ(model->EmissionOf(kStateB, kJia, 7), -3);
  EXPECT_EQ(model->EmissionOf(kStateB, kYi, 7), -2);
}

TEST(HMMModelTest, ToyModelOfTheSegmenterTestsLoads) {
  DataFiles files;
  auto model = files.Model(kToyModel);
  EXPECT_EQ(model->StartProb(kStateE), MIN_LOG_PROB);
  EXPECT_EQ(model->EmissionOf(kStateB, kBing, 7), -5);
}

struct FatalCase {
  const char* name;
  std::string text;
  Messages log;  // the messages written, the FATAL one last
};

class HMMModelFatalTest : public ::testing::TestWithParam<FatalCase> {};

TEST_P(HMMModelFatalTest, WritesItsLinesAndThrowsTheFatalMessage) {
  DataFiles files;
  const std::string path = files.ModelPath(GetParam().text);
  const auto [what, log] = FatalOf([&] { HMMModel model(path); });
  EXPECT_EQ(log, GetParam().log);
  ASSERT_FALSE(log.empty());
  EXPECT_EQ("FATAL " + what, log.back());
}

const std::string kFourLines = "0 0 0 0\n0 0 0 0\n0 0 0 0\n0 0 0 0\n";
const std::string kFiveLines = kFourLines + "0 0 0 0\n";

INSTANTIATE_TEST_SUITE_P(
    Files, HMMModelFatalTest,
    ::testing::Values(
        FatalCase{"EmptyFile", "", {"FATAL exp: [GetLine(ifile, line)] false. "}},
        FatalCase{"OnlyComments", "# a\n\n  # b\n", {"FATAL exp: [GetLine(ifile, line)] false. "}},
        FatalCase{"EndsBeforeATransitionRow", "0 0 0 0\n0 0 0 0\n", {"FATAL exp: [GetLine(ifile, line)] false. "}},
        FatalCase{"EndsBeforeEmissionS", kFiveLines + "甲:0\n乙:0\n丁:0\n# no S\n",
                  {"FATAL exp: [GetLine(ifile, line)] false. "}},
        FatalCase{"StartLineWithFiveNumbers", "0 0 0 0 0\n", {"FATAL exp: [tmp.size() == STATUS_SUM] false. "}},
        FatalCase{"StartLineWithThreeNumbers", "0 0 0\n", {"FATAL exp: [tmp.size() == STATUS_SUM] false. "}},
        FatalCase{"TransitionRowWithATab", kFourLines + "0 0 0\t0\n",
                  {"FATAL exp: [tmp.size() == STATUS_SUM] false. "}},
        FatalCase{"EmissionItemWithoutColon", kFiveLines + "甲-1\n",
                  {"ERROR emitProb illegal.", "FATAL exp: [LoadEmitProb(line, emitProbB)] false. "}},
        FatalCase{"EmissionItemWithTwoColons", kFiveLines + "甲:0\n乙:0:1\n",
                  {"ERROR emitProb illegal.", "FATAL exp: [LoadEmitProb(line, emitProbE)] false. "}},
        FatalCase{"TwoCommasInARow", kFiveLines + "甲:0\n乙:0\n丁:0,,丙:0\n",
                  {"ERROR emitProb illegal.", "FATAL exp: [LoadEmitProb(line, emitProbM)] false. "}},
        FatalCase{"CharacterOfTwoRunes", kFiveLines + "甲:0\n乙:0\n丁:0\n丙丙:0\n",
                  {"ERROR TransCode failed.", "FATAL exp: [LoadEmitProb(line, emitProbS)] false. "}},
        FatalCase{"SpaceAfterAComma", kFiveLines + "甲:0, 乙:0\n",
                  {"ERROR TransCode failed.", "FATAL exp: [LoadEmitProb(line, emitProbB)] false. "}},
        FatalCase{"EmptyCharacter", kFiveLines + ":0\n",
                  {"ERROR TransCode failed.", "FATAL exp: [LoadEmitProb(line, emitProbB)] false. "}},
        FatalCase{"CharacterThatDoesNotDecode", kFiveLines + "\xF8:0\n",
                  {"ERROR TransCode failed.", "FATAL exp: [LoadEmitProb(line, emitProbB)] false. "}}),
    [](const ::testing::TestParamInfo<FatalCase>& info) { return info.param.name; });

TEST(HMMModelFatalTest, FileThatCannotBeOpened) {
  DataFiles files;
  const std::string path = files.dir().Path("missing.model");
  const auto [what, log] = FatalOf([&] { HMMModel model(path); });
  EXPECT_EQ(what, "exp: [ifile.is_open()] false. open " + path + " failed");
  EXPECT_EQ(log, (Messages{"FATAL " + what}));
}

TEST(HMMModelTest, LoadEmitProbRefusesAnEmptyLine) {
  EmitProbMap table;
  EXPECT_FALSE(HMMModel::LoadEmitProb("", table));
  EXPECT_TRUE(table.empty());
}

}  // namespace
}  // namespace lumo::typing::text::jieba
