#include "tokenizer/jieba/keyword_extractor.h"

#include <cstdlib>
#include <fstream>
#include <vector>

#include "common/line_reader.h"
#include "common/log.h"
#include "tokenizer/jieba/text_util.h"

namespace lumo::typing::text::jieba {

KeywordExtractor::KeywordExtractor(const DictTrie& dict_trie, const HMMModel& model, const std::string& idf_path,
                                   const std::string& stop_word_path)
    : segment_(dict_trie, model) {
  LoadIdfTable(idf_path);
  LoadStopWords(stop_word_path);
}

KeywordExtractor::~KeywordExtractor() = default;

void KeywordExtractor::LoadIdfTable(const std::string& idf_path) {
  std::ifstream ifs;
  OpenDataFile(ifs, idf_path);
  LUMO_FATAL_CHECK(ifs.is_open(), "ifs.is_open()", "open ", idf_path, " failed");
  const std::string text = ReadRemaining(ifs);
  std::vector<std::string_view> buf;
  std::string value_text;  // atof wants a terminated string
  double sum = 0.0;
  std::size_t line_number = 0;
  ForEachLine(text, [&](std::string_view line) {
    if (line.empty()) {
      LUMO_LOG_ERROR << "lineno: " << line_number << " empty. skipped.";
    } else {
      SplitOnAny(line, buf, " ");
      if (buf.size() == 2) {
        value_text.assign(buf[1]);
        const double value = std::atof(value_text.c_str());
        idf_table_[std::string(buf[0])] = value;
        sum += value;
      } else {
        LUMO_LOG_ERROR << "line: " << line << ", lineno: " << line_number << " empty. skipped.";
      }
    }
    ++line_number;
  });
  idf_average_ = sum / static_cast<double>(line_number);
}

void KeywordExtractor::LoadStopWords(const std::string& stop_word_path) {
  std::ifstream ifs;
  OpenDataFile(ifs, stop_word_path);
  LUMO_FATAL_CHECK(ifs.is_open(), "ifs.is_open()", "open ", stop_word_path, " failed");
  const std::string text = ReadRemaining(ifs);
  ForEachLine(text, [&](std::string_view line) { stop_words_.emplace(line); });
}

}  // namespace lumo::typing::text::jieba
