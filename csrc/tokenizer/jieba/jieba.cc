#include "tokenizer/jieba/jieba.h"

namespace lumo::typing::text::jieba {

Jieba::Jieba(const std::string& dict_path, const std::string& hmm_path, const std::string& user_dict_paths,
             const std::string& idf_path, const std::string& stop_word_path)
    : dictionary_(dict_path, user_dict_paths),
      hmm_model_(hmm_path),
      max_prob_segmenter_(dictionary_),
      hmm_segmenter_(hmm_model_),
      mixed_segmenter_(dictionary_, hmm_model_),
      full_segmenter_(dictionary_),
      query_segmenter_(dictionary_, hmm_model_),
      keyword_extractor_(dictionary_, hmm_model_, idf_path, stop_word_path) {}

Jieba::~Jieba() = default;

void Jieba::Cut(std::string_view sentence, std::vector<std::string>& words) const {
  mixed_segmenter_.SplitSentence(sentence, words);
}

void Jieba::CutForSearch(std::string_view sentence, std::vector<std::string>& words) const {
  query_segmenter_.SplitSentence(sentence, words);
}

void Jieba::CutSlices(std::string_view sentence, std::vector<WordSlice>& slices) const {
  mixed_segmenter_.SplitSentence(sentence, slices);
}

void Jieba::CutForSearchSlices(std::string_view sentence, std::vector<WordSlice>& slices) const {
  query_segmenter_.SplitSentence(sentence, slices);
}

void Jieba::CutSlices(const CodePointText& sentence, std::vector<WordSlice>& slices) const {
  mixed_segmenter_.SplitSentence(sentence, slices);
}

void Jieba::CutForSearchSlices(const CodePointText& sentence, std::vector<WordSlice>& slices) const {
  query_segmenter_.SplitSentence(sentence, slices);
}

}  // namespace lumo::typing::text::jieba
