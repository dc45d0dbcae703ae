#include "tokenizer/jieba/keyword_extractor.h"

#include <gtest/gtest.h>

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "jieba/engine_data.h"
#include "common/log.h"

namespace lumo::typing::text::jieba {
namespace {

using lumo::testing::EngineFiles;
using lumo::testing::LogMessages;
using lumo::testing::StderrCapture;

class KeywordExtractorTest : public ::testing::Test {
 protected:
  KeywordExtractorTest() : dict_(files_.Dict("中国 10 ns\n人民 1 n\n")), model_(files_.Model()) {}

  struct Loaded {
    std::unique_ptr<KeywordExtractor> extractor;
    std::vector<std::string> messages;
  };

  Loaded Load(const std::string& idf_text, const std::string& stop_text = "的\n") {
    const std::string idf_path = files_.File(idf_text);
    const std::string stop_path = files_.File(stop_text);
    StderrCapture capture;
    auto extractor = std::make_unique<KeywordExtractor>(*dict_, *model_, idf_path, stop_path);
    return {std::move(extractor), LogMessages(capture.Finish())};
  }

  EngineFiles files_;
  std::unique_ptr<DictTrie> dict_;
  std::unique_ptr<HMMModel> model_;
};

TEST_F(KeywordExtractorTest, AverageCountsEverySkippedLine) {
  const Loaded loaded = Load("甲 2\n\n乙 4\n");
  EXPECT_EQ(loaded.extractor->IdfTable(), (std::unordered_map<std::string, double>{{"甲", 2.0}, {"乙", 4.0}}));
  EXPECT_EQ(loaded.extractor->IdfAverage(), 2.0);
  EXPECT_EQ(loaded.messages, std::vector<std::string>{"ERROR lineno: 1 empty. skipped."});
}

TEST_F(KeywordExtractorTest, MalformedLinesAreSkippedWithTheirText) {
  const Loaded loaded = Load("a  1\nb 2 \nc\nd 1 2\r\ne 3x\n\xFF 1\n");
  EXPECT_EQ(loaded.messages, (std::vector<std::string>{"ERROR line: a  1, lineno: 0 empty. skipped.",
                                                       "ERROR line: c, lineno: 2 empty. skipped.",
                                                       "ERROR line: d 1 2, lineno: 3 empty. skipped."}));
  // A trailing space still gives two fields; values are atof prefixes; words
  // are bytes, never decoded.
  EXPECT_EQ(loaded.extractor->IdfTable(),
            (std::unordered_map<std::string, double>{{"b", 2.0}, {"e", 3.0}, {"\xFF", 1.0}}));
  EXPECT_EQ(loaded.extractor->IdfAverage(), 6.0 / 6.0);
}

TEST_F(KeywordExtractorTest, RepeatedWordKeepsTheLaterValueAndBothCount) {
  const Loaded loaded = Load("w 1\nw 5\nz nothing\n");
  EXPECT_EQ(loaded.extractor->IdfTable().at("w"), 5.0);
  EXPECT_EQ(loaded.extractor->IdfTable().at("z"), 0.0);
  EXPECT_EQ(loaded.extractor->IdfAverage(), 6.0 / 3.0);
  EXPECT_TRUE(loaded.messages.empty());
}

TEST_F(KeywordExtractorTest, StopWordsAreLinesAsRead) {
  const Loaded loaded = Load("w 1\n", "的\n\n a \r\n了");
  EXPECT_EQ(loaded.extractor->StopWords(), (std::unordered_set<std::string>{"的", "", " a ", "了"}));
}

TEST_F(KeywordExtractorTest, HoldsAWorkingMixedSegmenter) {
  const Loaded loaded = Load("w 1\n");
  std::vector<std::string> words;
  loaded.extractor->Segmenter().SplitSentence("中国 中国", words);
  EXPECT_EQ(words, (std::vector<std::string>{"中国", " ", "中国"}));
}

TEST_F(KeywordExtractorTest, MissingFilesAreFatal) {
  const std::string idf_path = files_.File("w 1\n");
  const std::string stop_path = files_.File("x\n");
  const std::string missing = files_.dir().Path("missing.txt");
  for (const bool idf_missing : {true, false}) {
    StderrCapture capture;
    std::string what = "(no exception)";
    try {
      KeywordExtractor extractor(*dict_, *model_, idf_missing ? missing : idf_path, idf_missing ? stop_path : missing);
    } catch (const FatalError& error) {
      what = error.what();
    }
    const std::string expected = "exp: [ifs.is_open()] false. open " + missing + " failed";
    EXPECT_EQ(what, expected);
    EXPECT_EQ(LogMessages(capture.Finish()), std::vector<std::string>{"FATAL " + expected});
  }
}

}  // namespace
}  // namespace lumo::typing::text::jieba
