#include "tokenizer/jieba/jieba.h"

#include "tokenizer/jieba/log.h"
#include "tokenizer/jieba/segment_base.h"

namespace lumo::typing::text::jieba {

namespace {

SeparatorSet SpecialSeparators() {
  SeparatorSet separators;
  CodePointList code_points;
  const bool decoded = DecodeCodePoints(SPECIAL_SEPARATORS, code_points);
  LUMO_FATAL_CHECK(decoded);
  for (Rune code_point : code_points) separators.insert(code_point);
  return separators;
}

// The words of the ranges of sentence that split_range gives, as slices: the
// same pre-filter and range list as the segmenters' own sentence operation.
template <typename Segmenter>
void SliceSentence(const SeparatorSet& separators, const Segmenter& segmenter, std::string_view sentence,
                   std::vector<WordSlice>& slices) {
  slices.clear();
  PreFilter filter(separators, sentence);
  std::vector<WordRange> ranges;  // points into the filter's runes
  if (sentence.size() >= 2) ranges.reserve(sentence.size() / 2);
  while (filter.HasMore()) {
    const PreFilter::Range range = filter.NextRange();
    segmenter.SplitRange(range.begin, range.end, ranges);
  }
  slices.reserve(ranges.size());
  for (const WordRange& word : ranges) {
    const std::uint32_t end = word.last->byte_offset + word.last->byte_length;
    slices.push_back(WordSlice{word.first->byte_offset, end - word.first->byte_offset});
  }
}

}  // namespace

Jieba::Jieba(const std::string& dict_path, const std::string& hmm_path, const std::string& user_dict_paths,
             const std::string& idf_path, const std::string& stop_word_path)
    : dictionary_(dict_path, user_dict_paths),
      hmm_model_(hmm_path),
      max_prob_segmenter_(dictionary_),
      hmm_segmenter_(hmm_model_),
      mixed_segmenter_(dictionary_, hmm_model_),
      full_segmenter_(dictionary_),
      query_segmenter_(dictionary_, hmm_model_),
      keyword_extractor_(dictionary_, hmm_model_, idf_path, stop_word_path),
      separators_(SpecialSeparators()) {}

Jieba::~Jieba() = default;

void Jieba::Cut(std::string_view sentence, std::vector<std::string>& words) const {
  mixed_segmenter_.SplitSentence(sentence, words);
}

void Jieba::CutForSearch(std::string_view sentence, std::vector<std::string>& words) const {
  query_segmenter_.SplitSentence(sentence, words);
}

void Jieba::CutSlices(std::string_view sentence, std::vector<WordSlice>& slices) const {
  SliceSentence(separators_, mixed_segmenter_, sentence, slices);
}

void Jieba::CutForSearchSlices(std::string_view sentence, std::vector<WordSlice>& slices) const {
  SliceSentence(separators_, query_segmenter_, sentence, slices);
}

}  // namespace lumo::typing::text::jieba
