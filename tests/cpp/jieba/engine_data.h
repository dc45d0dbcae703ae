// Small data files for the tests of the full and query segmenters, the
// keyword resources and the engine: a model whose HMM cuts every known rune
// into a word of its own, and helpers that build the resources from texts.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/log_lines.h"
#include "support/stderr_capture.h"
#include "support/temp_dir.h"
#include "tokenizer/jieba/dict_trie.h"
#include "tokenizer/jieba/hmm_model.h"

namespace lumo::testing {

// Every rune that the tests use outside dictionary words is emitted by state
// S only, and S follows S cheaply: the HMM leaves each such rune alone.
inline constexpr std::string_view kSinglesModel =
    "# start B E M S\n"
    "-1 -3.14e+100 -3.14e+100 -1\n"
    "# transitions\n"
    "-3.14e+100 -1 -1 -3.14e+100\n"
    "-1 -3.14e+100 -3.14e+100 -1\n"
    "-3.14e+100 -1 -1 -3.14e+100\n"
    "-1 -3.14e+100 -3.14e+100 -1\n"
    "# emissions B, E, M, S\n"
    "\xE5\x97\xAF:-1\n"                                    // 嗯
    "\xE5\x97\xAF:-1\n"
    "\xE5\x97\xAF:-1\n"
    "\xE7\x94\xB2:-1,\xE4\xB9\x99:-1,\xE4\xB8\x99:-1,\xE4\xB8\x81:-1,\xE4\xB8\xAD:-1,\xE5\x9B\xBD:-1,"
    "\xE4\xBA\xBA:-1,\xE6\xB0\x91:-1\n";                  // 甲乙丙丁中国人民

// Resources built from texts in a temporary directory of their own.
class EngineFiles {
 public:
  EngineFiles() = default;
  EngineFiles(const EngineFiles&) = delete;
  EngineFiles& operator=(const EngineFiles&) = delete;

  std::string File(const std::string& content) { return dir_.Write("file" + std::to_string(counter_++) + ".txt", content); }

  std::unique_ptr<typing::text::jieba::DictTrie> Dict(const std::string& main_text, const std::string& user_text = "") {
    const std::string main_path = File(main_text);
    const std::string user_path = user_text.empty() ? "" : File(user_text);
    return std::make_unique<typing::text::jieba::DictTrie>(main_path, user_path);
  }

  std::unique_ptr<typing::text::jieba::HMMModel> Model(std::string_view text = kSinglesModel) {
    return std::make_unique<typing::text::jieba::HMMModel>(File(std::string(text)));
  }

  const TempDir& dir() const { return dir_; }

 private:
  TempDir dir_;
  int counter_ = 0;
};

// The words of segmenter for sentence, string form.
template <typename Segmenter>
std::vector<std::string> WordsOf(const Segmenter& segmenter, std::string_view sentence) {
  std::vector<std::string> words{"left over"};
  segmenter.SplitSentence(sentence, words);
  return words;
}

}  // namespace lumo::testing
