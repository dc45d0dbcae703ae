// The resources of TF-IDF keyword extraction: an IDF table with its average
// and a stop-word list, with a mixed segmenter of their own. Loaded and kept;
// no operation of the engine reads them yet.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "tokenizer/jieba/dict_trie.h"
#include "tokenizer/jieba/hmm_model.h"
#include "tokenizer/jieba/mix_segment.h"

namespace lumo::typing::text::jieba {

class KeywordExtractor {
 public:
  // Builds the segmenter over dict_trie and model (neither owned; both must
  // outlive the extractor), then loads the IDF table and the stop words. A
  // file that cannot be opened writes its FATAL line and throws FatalError.
  KeywordExtractor(const DictTrie& dict_trie, const HMMModel& model, const std::string& idf_path,
                   const std::string& stop_word_path);
  KeywordExtractor(const KeywordExtractor&) = delete;
  KeywordExtractor& operator=(const KeywordExtractor&) = delete;
  KeywordExtractor(KeywordExtractor&&) = delete;  // the segmenter refers to the engine's resources
  KeywordExtractor& operator=(KeywordExtractor&&) = delete;
  ~KeywordExtractor();

  // Word (bytes as read) to IDF value; a word listed twice keeps its later value.
  const std::unordered_map<std::string, double>& IdfTable() const { return idf_table_; }
  // The sum of the values of the used lines over the number of all lines read.
  double IdfAverage() const { return idf_average_; }
  const std::unordered_set<std::string>& StopWords() const { return stop_words_; }
  const MixSegment& Segmenter() const { return segment_; }

 private:
  // Every line "word value"; an empty or malformed line writes an ERROR line
  // and is skipped, yet counts toward the average's line count.
  void LoadIdfTable(const std::string& idf_path);
  // Every line, exactly as read, is one stop word.
  void LoadStopWords(const std::string& stop_word_path);

  MixSegment segment_;
  std::unordered_map<std::string, double> idf_table_;
  double idf_average_ = 0.0;
  std::unordered_set<std::string> stop_words_;
};

}  // namespace lumo::typing::text::jieba
