// dump and load of the native model: document text, key round trips,
// all-or-nothing loading, the loaded total length and the overflow guard.
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <span>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "bm25/bm25.h"
#include "common/file_replacer.h"
#include "support/stderr_capture.h"
#include "support/temp_dir.h"

namespace lumo::typing::text {
namespace {

using Strings = std::vector<std::string_view>;

void Train(BM25& model, const Strings& tokens) { model.train(std::span<const std::string_view>(tokens)); }

using lumo::testing::TempDir;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::string Dumped(const BM25& model) {
  TempDir directory;
  const std::string path = directory.Path("model.json");
  model.dump(path);
  return ReadFile(path);
}

BM25 TrainedModel() {
  BM25 model(0.75, 1.2);
  Train(model, {"a", "b", "a"});
  Train(model, {"b", "c"});
  return model;
}

TEST(BM25Dump, WritesTheElevenLinesAndTheUntrainedLayout) {
  EXPECT_EQ(Dumped(TrainedModel()),
            "{\n  \"_b\" : 0.750000,\n  \"_doc_count\" : 2,\n  \"_doc_length_average\" : 2.500000,\n"
            "  \"_doc_token_frequency\" : {\n    \"a\" : 2,\n    \"b\" : 2,\n    \"c\" : 1\n  },\n"
            "  \"_k1\" : 1.200000\n}");
  EXPECT_EQ(Dumped(BM25(0.75, 1.2)),
            "{\n  \"_b\" : 0.750000,\n  \"_doc_count\" : 0,\n  \"_doc_length_average\" : 0.000000,\n"
            "  \"_doc_token_frequency\" : {\n\n  },\n  \"_k1\" : 1.200000\n}");
}

TEST(BM25Dump, EveryByteOfATokenRoundTrips) {
  std::vector<std::string> texts;
  for (int byte = 0; byte < 256; ++byte) {
    std::string text = "k";
    text.push_back(static_cast<char>(byte));
    text.push_back('\\');
    texts.push_back(text);
  }
  texts.push_back("\\u0041");
  texts.push_back("\"");
  BM25 model(0.5, 2.0);
  const Strings views(texts.begin(), texts.end());
  Train(model, views);
  Train(model, views);
  BM25 restored(0.0, 0.0);
  restored.load(Dumped(model));
  EXPECT_EQ(restored.distinct_token_count(), texts.size());
  for (const auto& text : texts) EXPECT_EQ(restored.token_frequency(text), 2) << text;
  EXPECT_EQ(restored.doc_count(), 2);
  EXPECT_EQ(restored.b(), 0.5);
  EXPECT_EQ(restored.k1(), 2.0);
}

TEST(BM25Dump, ReportsAPathThatCannotBeOpened) {
  const BM25 model = TrainedModel();
  TempDir directory;
  for (const std::string& path : {directory.Path("missing/model.json"), directory.Path(""), std::string()}) {
    try {
      model.dump(path);
      ADD_FAILURE() << "no exception for " << path;
    } catch (const std::runtime_error& error) {
      EXPECT_STREQ(error.what(), "Failed to dump: Unable to open file");
    }
  }
  EXPECT_EQ(directory.EntryCount(), 0u);
}

TEST(FileReplacer, ReplacesAndReports) {
  TempDir directory;
  const std::string path = directory.Path("f");
  EXPECT_EQ(ReplaceFileContents(path, "one"), ReplaceFileResult::kReplaced);
  EXPECT_EQ(ReplaceFileContents(path, "two"), ReplaceFileResult::kReplaced);
  EXPECT_EQ(ReadFile(path), "two");
  EXPECT_EQ(ReplaceFileContents(directory.Path("f/x"), "three"), ReplaceFileResult::kOpenFailed);
  EXPECT_EQ(ReplaceFileContents(std::string("a\0b", 3), "x"), ReplaceFileResult::kOpenFailed);
  EXPECT_EQ(ReplaceFileContents("/dev/full", "x"), ReplaceFileResult::kWriteFailed);
  EXPECT_EQ(directory.EntryCount(), 1u);
}

std::string Document(const std::string& tokens, const std::string& doc_count = "2",
                     const std::string& average = "2.500000", const std::string& b = "0.750000",
                     const std::string& k1 = "1.200000") {
  return "{\"_doc_token_frequency\" : {" + tokens + "}, \"_doc_count\" : " + doc_count +
         " , \"_doc_length_average\" : " + average + " , \"_b\" : " + b + " , \"_k1\" : " + k1 + " }";
}

struct FailingLoad {
  std::string text;
  std::string message;
};

class BM25FailingLoad : public ::testing::TestWithParam<FailingLoad> {};

TEST_P(BM25FailingLoad, ThrowsTheFirstFailureAndChangesNothing) {
  BM25 model = TrainedModel();
  const std::string before = Dumped(model);
  lumo::testing::StderrCapture capture;  // the parser's diagnostics
  try {
    model.load(GetParam().text);
    ADD_FAILURE() << "no exception";
  } catch (const std::exception& error) {
    EXPECT_EQ(error.what(), GetParam().message);
  }
  capture.Finish();
  EXPECT_EQ(Dumped(model), before);
  EXPECT_EQ(model.doc_length_total(), 5);
}

INSTANTIATE_TEST_SUITE_P(
    Documents, BM25FailingLoad,
    ::testing::Values(FailingLoad{"", "json data should not be empty"},
                    FailingLoad{Document("\"a\" : 1, \"b\" : 2.0", "x"), "load doc_token_frequency failed"},
                    FailingLoad{Document("", "2.0"), "load doc_count failed"},
                    FailingLoad{Document("", "2", "2"), "load doc_length_average failed"},
                    FailingLoad{Document("", "2", "2.0", "1"), "load b failed"},
                    FailingLoad{Document("", "2", "2.0", "1.0", "false"), "load k1 failed"},
                    FailingLoad{"hello", "load doc_count failed"},
                    FailingLoad{std::string(200000, '['), "load doc_count failed"},
                    FailingLoad{Document("", "3000000000"), "stol argument out of range"},
                    FailingLoad{Document("", "--1"), "invalid stol argument"},
                    FailingLoad{Document("", "2", "-."), "invalid stod argument"}));

TEST(BM25Load, SetsCountsKeepsOthersAndRestoresTheTotalLength) {
  BM25 model = TrainedModel();
  model.load(Document("\"a\" : 5", "3", "2.500000"));
  EXPECT_EQ(model.token_frequency("a"), 5);
  EXPECT_EQ(model.token_frequency("b"), 2);
  EXPECT_EQ(model.doc_count(), 3);
  EXPECT_EQ(model.doc_length_total(), 8);  // 2.5 * 3 = 7.5, rounded to the nearest
  Train(model, {"z", "z"});
  EXPECT_EQ(model.doc_length_average(), 10.0 / 4.0);
}

struct LoadedTotal {
  std::string average;
  std::string count;
  std::int64_t total;
};

// "1" followed by zeros zeros and ".0".
std::string PowerOfTen(std::size_t zeros) {
  std::string text(zeros + 3, '0');
  text[0] = '1';
  text[zeros + 1] = '.';
  return text;
}

class BM25LoadedTotal : public ::testing::TestWithParam<LoadedTotal> {};

TEST_P(BM25LoadedTotal, IsTheRoundedProductOrZero) {
  BM25 model(0.75, 1.2);
  model.load(Document("", GetParam().count, GetParam().average));
  EXPECT_EQ(model.doc_length_total(), GetParam().total);
}

INSTANTIATE_TEST_SUITE_P(Products, BM25LoadedTotal,
                         ::testing::Values(LoadedTotal{"2.000000", "3", 6}, LoadedTotal{"0.400000", "3", 1},
                                         LoadedTotal{"-2.000000", "3", 0}, LoadedTotal{"2.000000", "-3", 0},
                                         LoadedTotal{PowerOfTen(300), "3", 0},
                                         LoadedTotal{PowerOfTen(30), "1", 0}));

TEST(BM25Overflow, CountersStopAtTheirLimitWithTheModelUnchanged) {
  BM25 model(0.75, 1.2);
  model.load(Document("\"a\" : 2147483646", "7"));
  Train(model, {"a", "b"});
  EXPECT_EQ(model.token_frequency("a"), std::numeric_limits<std::int32_t>::max());
  const std::string before = Dumped(model);
  const auto expect_overflow = [](auto call) {
    try {
      call();
      ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& error) {
      EXPECT_STREQ(error.what(), "BM25 counter overflow");
    }
  };
  expect_overflow([&] { Train(model, {"b", "c", "a"}); });
  EXPECT_EQ(Dumped(model), before);
  EXPECT_EQ(model.token_frequency("c"), std::nullopt);

  BM25 full(0.75, 1.2);
  full.load(Document("", "2147483647"));
  expect_overflow([&] { Train(full, {"a"}); });
  const std::vector<std::int64_t> ids{1};
  expect_overflow([&] { full.train(std::span<const std::int64_t>(ids)); });
  EXPECT_EQ(full.doc_count(), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(full.distinct_token_count(), 0u);
  // The IDF's n is computed in 64 bits: ln((2^31 - 1 + 1) / 1.5).
  EXPECT_EQ(full.token_idf("x"), std::log(2147483648.0 / 1.5));
}

}  // namespace
}  // namespace lumo::typing::text
