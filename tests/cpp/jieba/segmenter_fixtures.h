// Small hand-made data for the segmenter tests: HMM model files, dictionaries
// written into a temporary directory, and readable views of segmenter output.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/log_lines.h"
#include "support/stderr_capture.h"
#include "support/temp_dir.h"
#include "tokenizer/jieba/dict_trie.h"
#include "tokenizer/jieba/hmm_model.h"
#include "common/log.h"

namespace lumo::testing {

using Words = std::vector<std::string>;

// A model in which only four runes are known, each to exactly the states it
// plays: 甲 begins a word (B), 丁 continues one (M), 乙 ends one (E) and 丙 is a
// word alone (S, and at a high cost B or E). Impossible transitions and starts
// cost -3.14e+100. So 甲丁乙 decodes as B M E, 甲乙丙 as B E S, 丙丙 as S S.
inline constexpr std::string_view kToyModel =
    "# start B E M S\n"
    "-1 -3.14e+100 -3.14e+100 -2\n"
    "# transitions from B, E, M, S\n"
    "-3.14e+100 -1 -2 -3.14e+100\n"
    "-1 -3.14e+100 -3.14e+100 -2\n"
    "-3.14e+100 -1 -2 -3.14e+100\n"
    "-1 -3.14e+100 -3.14e+100 -2\n"
    "# emissions of B, E, M, S\n"
    "甲:-1,丙:-5\n"
    "乙:-1,丙:-5\n"
    "丁:-1\n"
    "丙:-1\n";

// A model in which every value is 0 and the four runes 甲乙丙丁 are known to
// every state: every choice of the decoder is a tie.
inline constexpr std::string_view kFlatModel =
    "0 0 0 0\n0 0 0 0\n0 0 0 0\n0 0 0 0\n0 0 0 0\n"
    "甲:0,乙:0,丙:0,丁:0\n甲:0,乙:0,丙:0,丁:0\n甲:0,乙:0,丙:0,丁:0\n甲:0,乙:0,丙:0,丁:0\n";

// Builds dictionaries and models from texts, in a directory of their own.
class DataFiles {
 public:
  DataFiles() = default;
  DataFiles(const DataFiles&) = delete;
  DataFiles& operator=(const DataFiles&) = delete;

  std::unique_ptr<typing::text::jieba::DictTrie> Dict(const std::string& main_text,
                                                      const std::string& user_text = "") {
    const std::string main_path = dir_.Write("main" + Next() + ".txt", main_text);
    const std::string user_path = user_text.empty() ? "" : dir_.Write("user" + Next() + ".txt", user_text);
    return std::make_unique<typing::text::jieba::DictTrie>(main_path, user_path);
  }

  std::unique_ptr<typing::text::jieba::HMMModel> Model(std::string_view text) {
    return std::make_unique<typing::text::jieba::HMMModel>(ModelPath(text));
  }

  std::string ModelPath(std::string_view text) { return dir_.Write("model" + Next() + ".txt", std::string(text)); }

  const TempDir& dir() const { return dir_; }

 private:
  std::string Next() { return std::to_string(counter_++); }

  TempDir dir_;
  int counter_ = 0;
};

// The words of segmenter for sentence, through the string form.
template <typename Segmenter>
Words Cut(const Segmenter& segmenter, std::string_view sentence) {
  Words words;
  segmenter.SplitSentence(sentence, words);
  return words;
}

// The words of segmenter for sentence and the log messages written meanwhile.
template <typename Segmenter>
std::pair<Words, std::vector<std::string>> CutLogged(const Segmenter& segmenter, std::string_view sentence) {
  StderrCapture capture;
  Words words = Cut(segmenter, sentence);
  return {words, LogMessages(capture.Finish())};
}

// The FATAL message of a failing call and the log messages it wrote.
template <typename Call>
std::pair<std::string, std::vector<std::string>> FatalOf(const Call& call) {
  StderrCapture capture;
  std::string what = "(no exception)";
  try {
    call();
  } catch (const typing::text::jieba::FatalError& error) {
    what = error.what();
  }
  return {what, LogMessages(capture.Finish())};
}

}  // namespace lumo::testing
