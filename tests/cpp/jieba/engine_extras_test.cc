// The engine's companions: log sinks, the data-file check, and the full cut,
// tags, keywords and code point spans on a built engine.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "jieba/engine_data.h"
#include "tokenizer/jieba/data_file_check.h"
#include "tokenizer/jieba/engine_operations.h"
#include "common/log.h"
#include "common/log_sink.h"

namespace lumo::typing::text::jieba {
namespace {

using lumo::testing::EngineFiles;
using lumo::testing::LogMessages;
using lumo::testing::StderrCapture;
using Kind = DataFileProblem::Kind;

std::vector<std::string> Collect(std::vector<std::string>& lines, const LogLine& line) {
  lines.push_back(std::string(LogLevelName(line.level)) + "|" + std::string(line.message));
  return lines;
}

TEST(LogSinkTest, LinesGoToTheInnermostSinkOfTheirThreadOnly) {
  StderrCapture capture;
  std::vector<std::string> outer, inner;
  {
    ScopedLogSink outer_sink([&](const LogLine& line) { Collect(outer, line); });
    LUMO_LOG_ERROR << "one " << 1;
    {
      ScopedLogSink inner_sink([&](const LogLine& line) {
        Collect(inner, line);
        EXPECT_EQ(line.source.substr(0, line.source.find(':')), "tests/cpp/jieba/engine_extras_test.cc");
      });
      LUMO_LOG_ERROR << "two";
      std::thread([] { LUMO_LOG_ERROR << "other thread"; }).join();
    }
    try {
      LUMO_FATAL_CHECK(1 + 1 == 3, "1 + 1 == 3", "three");
    } catch (const FatalError& error) {
      EXPECT_STREQ(error.what(), "exp: [1 + 1 == 3] false. three");
    }
  }
  LUMO_LOG_ERROR << "after";
  EXPECT_EQ(outer, (std::vector<std::string>{"ERROR|one 1", "FATAL|exp: [1 + 1 == 3] false. three"}));
  EXPECT_EQ(inner, (std::vector<std::string>{"ERROR|two"}));
  EXPECT_EQ(LogMessages(capture.Finish()), (std::vector<std::string>{"ERROR other thread", "ERROR after"}));
}

class DataFileCheckTest : public ::testing::Test {
 protected:
  DataFileProblem Check() { return CheckDataFiles(dict_, model_, user_, idf_, stop_); }

  EngineFiles files_;
  std::string dict_ = files_.File("中国 10 ns\n人民 10 n\n");
  std::string model_ = files_.File(std::string(lumo::testing::kSinglesModel));
  std::string user_ = files_.File("甲乙 n\n") + ";" + files_.File("\n");
  std::string idf_ = files_.File("\nbad line here\n");  // skipped lines, not fatal
  std::string stop_ = files_.File("");
};

TEST_F(DataFileCheckTest, GoodFilesPassWithoutALogLine) {
  StderrCapture capture;
  EXPECT_EQ(Check().kind, Kind::kNone);
  EXPECT_EQ(capture.Finish(), "");
  StderrCapture engine_capture;
  EXPECT_NO_THROW(Jieba(dict_, model_, user_, idf_, stop_));
}

TEST_F(DataFileCheckTest, OpenFailuresComeFirstInLoadOrder) {
  dict_ = files_.File("no three fields\n");
  stop_ = files_.dir().Path("missing.txt");
  user_ = files_.File("x\n") + "|" + files_.dir().Path("");
  const DataFileProblem problem = Check();
  EXPECT_EQ(problem.kind, Kind::kCannotOpen);
  EXPECT_EQ(problem.path, files_.dir().Path(""));
  EXPECT_EQ(problem.error_number, EISDIR);
  user_ = "";
  EXPECT_EQ(Check().error_number, ENOENT);
  EXPECT_EQ(Check().path, stop_);
}

struct MalformedCase {
  const char* main;
  const char* model;
  bool model_is_bad;
  std::size_t line;
  const char* reason;
};

class MalformedFileTest : public DataFileCheckTest, public ::testing::WithParamInterface<MalformedCase> {};

TEST_P(MalformedFileTest, NamesFileLineAndReason) {
  const MalformedCase& c = GetParam();
  if (c.main != nullptr) dict_ = files_.File(c.main);
  if (c.model != nullptr) model_ = files_.File(c.model);
  const DataFileProblem problem = Check();
  EXPECT_EQ(problem.kind, Kind::kMalformed);
  EXPECT_EQ(problem.path, c.model_is_bad ? model_ : dict_);
  EXPECT_EQ(problem.line_number, c.line);
  EXPECT_EQ(problem.reason, c.reason);
  StderrCapture capture;  // the engine itself stops on the same file
  EXPECT_THROW(Jieba(dict_, model_, user_, idf_, stop_), FatalError);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MalformedFileTest,
    ::testing::Values(
        MalformedCase{"a 1 n\nb 1 n\n\nc 1 n\n", nullptr, false, 3,
                      "expected 3 fields \"word frequency tag\" separated by single spaces, found 0"},
        MalformedCase{"a 1 n\r\nb\t1 n\r\n", nullptr, false, 2,
                      "expected 3 fields \"word frequency tag\" separated by single spaces, found 2"},
        MalformedCase{"\xFF 1 n\n", nullptr, false, 0, "the main dictionary holds no word"},
        MalformedCase{nullptr, "# c\n\n1 2 3 4\n1 2 3 4\n1 2 3\n", true, 5,
                      "expected 4 numbers separated by single spaces (transitions from E), found 3 fields"},
        MalformedCase{nullptr, "1 2 3 4\n1 2 3 4\n1 2 3 4\n1 2 3 4\n1 2 3 4\na:1\nab:1\n", true, 7,
                      "malformed item \"ab:1\" in the row of emissions of E (expected one character, \":\" and a "
                      "number)"},
        MalformedCase{nullptr, "1 2 3 4\n1 2 3 4\n1 2 3 4\n1 2 3 4\n1 2 3 4\na:1\nb:1\n# only a comment\n", true, 0,
                      "the file ends before the row of emissions of M"}));

class EngineOperationsTest : public ::testing::Test {
 protected:
  EngineFiles files_;
  Jieba engine_{files_.File("中国 10 ns\n人民 10 n\n中国人 10 n\n中国人民 1000 nt\n北京 100 ns\n"),
                files_.File(std::string(lumo::testing::kSinglesModel)), files_.File("甲乙 n\n"),
                files_.File("中国 2.5\n人民 3\n北京 0.5\n"), files_.File("北京\n")};
};

TEST_F(EngineOperationsTest, FullCutSlicesAreTheFullSegmentersWords) {
  const std::string sentence = "中国人民，甲乙北京";
  std::vector<WordSlice> slices{{7, 7}};
  CutAllSlices(engine_, sentence, slices);
  std::vector<std::string> words;
  for (const WordSlice& slice : slices) words.push_back(sentence.substr(slice.byte_offset, slice.byte_length));
  EXPECT_EQ(words, lumo::testing::WordsOf(engine_.FullSegmenter(), sentence));
  EXPECT_EQ(words, (std::vector<std::string>{"中国", "中国人", "中国人民", "人民", "，", "甲乙", "北京"}));
}

TEST_F(EngineOperationsTest, KeywordsByTermFrequencyTimesIdf) {
  // Candidates 中国 x2, 人民, 甲乙, 中国人民: n = 5; 北京 is a stop word and 丙
  // too short; 甲乙 and 中国人民 take the average (2.5 + 3 + 0.5) / 3 = 2.
  const std::string text = "中国，人民，中国，北京，甲乙，丙，中国人民";
  const std::vector<Keyword> all = ExtractKeywords(engine_, text, -1);
  std::vector<std::pair<std::string, double>> got;
  for (const Keyword& keyword : all) got.emplace_back(keyword.word, keyword.weight);
  const double five = 5.0;
  EXPECT_EQ(got, (std::vector<std::pair<std::string, double>>{
                     {"中国", 2 / five * 2.5}, {"人民", 1 / five * 3.0}, {"中国人民", 1 / five * 2.0},
                     {"甲乙", 1 / five * 2.0}}));
  EXPECT_EQ(ExtractKeywords(engine_, text, 1).size(), 1u);
  EXPECT_TRUE(ExtractKeywords(engine_, "", 5).empty());
}

}  // namespace
}  // namespace lumo::typing::text::jieba
