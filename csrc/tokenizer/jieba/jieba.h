// The segmentation engine: the dictionary, the HMM model, one segmenter of each
// kind over them, and the keyword-extractor resources, built from five files.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tokenizer/jieba/dict_trie.h"
#include "tokenizer/jieba/full_segment.h"
#include "tokenizer/jieba/hmm_model.h"
#include "tokenizer/jieba/hmm_segment.h"
#include "tokenizer/jieba/keyword_extractor.h"
#include "tokenizer/jieba/mix_segment.h"
#include "tokenizer/jieba/mp_segment.h"
#include "tokenizer/jieba/query_segment.h"
#include "tokenizer/jieba/word_record.h"

namespace lumo::typing::text::jieba {

class Jieba {
 public:
  // Loads, in this order, the main dictionary and the user dictionaries
  // (user_dict_paths: paths separated by '|' or ';', empty for none), the HMM
  // model, the IDF table and the stop words, and builds every segmenter. A
  // missing or malformed file writes its FATAL line and throws FatalError;
  // nothing partly built survives.
  Jieba(const std::string& dict_path, const std::string& hmm_path, const std::string& user_dict_paths,
        const std::string& idf_path, const std::string& stop_word_path);
  // The segmenters refer to dictionary_ and hmm_model_: the engine lives at
  // one address for its whole life.
  Jieba(const Jieba&) = delete;
  Jieba& operator=(const Jieba&) = delete;
  Jieba(Jieba&&) = delete;
  Jieba& operator=(Jieba&&) = delete;
  ~Jieba();

  // Replaces words by the mixed segmentation of sentence (UTF-8). Read-only:
  // any number of threads may cut with one engine at once.
  void Cut(std::string_view sentence, std::vector<std::string>& words) const;
  // Replaces words by the query segmentation of sentence; read-only as Cut.
  void CutForSearch(std::string_view sentence, std::vector<std::string>& words) const;

  // The same words as Cut and CutForSearch, as slices of sentence instead of
  // copies (slices is replaced); for callers that copy the bytes themselves.
  // WordSlice (word_record.h) is a byte offset and a byte length.
  void CutSlices(std::string_view sentence, std::vector<WordSlice>& slices) const;
  void CutForSearchSlices(std::string_view sentence, std::vector<WordSlice>& slices) const;
  // The same for a text of code points (a str's storage): slices count code
  // points, and nothing is decoded.
  void CutSlices(const CodePointText& sentence, std::vector<WordSlice>& slices) const;
  void CutForSearchSlices(const CodePointText& sentence, std::vector<WordSlice>& slices) const;

  const MixSegment& MixedSegmenter() const { return mixed_segmenter_; }
  const QuerySegment& QuerySegmenter() const { return query_segmenter_; }
  const FullSegment& FullSegmenter() const { return full_segmenter_; }
  const KeywordExtractor& Keywords() const { return keyword_extractor_; }
  const DictTrie& Dictionary() const { return dictionary_; }

 private:
  // Construction follows this order and destruction runs in reverse: the
  // resources first, the segmenters that refer to them after.
  DictTrie dictionary_;
  HMMModel hmm_model_;
  MPSegment max_prob_segmenter_;
  HMMSegment hmm_segmenter_;
  MixSegment mixed_segmenter_;
  FullSegment full_segmenter_;
  QuerySegment query_segmenter_;
  KeywordExtractor keyword_extractor_;
};

}  // namespace lumo::typing::text::jieba
