#include "tokenizer/jieba/engine_operations.h"

#include <algorithm>
#include <unordered_map>

#include "tokenizer/jieba/word_record.h"

namespace lumo::typing::text::jieba {

namespace {

bool IsContinuationByte(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

std::size_t CountRunes(std::string_view text) {
  std::size_t runes = 0;
  for (char byte : text) runes += IsContinuationByte(byte) ? 0 : 1;
  return runes;
}

}  // namespace

void CutAllSlices(const Jieba& engine, std::string_view sentence, std::vector<WordSlice>& slices) {
  std::vector<WordRecord> records;
  engine.FullSegmenter().SplitSentence(sentence, records);
  slices.clear();
  slices.reserve(records.size());
  for (const WordRecord& record : records) {
    slices.push_back(WordSlice{record.byte_offset, static_cast<std::uint32_t>(record.text.size())});
  }
}

void CutAllSlices(const Jieba& engine, const CodePointText& sentence, std::vector<WordSlice>& slices) {
  engine.FullSegmenter().SplitSentence(sentence, slices);
}

void TagWords(const Jieba& engine, std::string_view sentence,
              std::vector<std::pair<std::string, std::string>>& tagged) {
  tagged.clear();
  engine.MixedSegmenter().TagSentence(sentence, tagged);
}

std::vector<Keyword> ExtractKeywords(const Jieba& engine, std::string_view sentence, std::int64_t top_k) {
  const KeywordExtractor& resources = engine.Keywords();
  std::vector<std::string> words;
  engine.Cut(sentence, words);
  std::unordered_map<std::string_view, std::size_t> counts;
  std::size_t candidates = 0;
  for (const std::string& word : words) {
    if (CountRunes(word) < 2 || resources.StopWords().count(word) > 0) continue;
    ++counts[word];
    ++candidates;
  }
  std::vector<Keyword> keywords;
  keywords.reserve(counts.size());
  for (const auto& [word, count] : counts) {
    const auto found = resources.IdfTable().find(std::string(word));
    const double idf = found == resources.IdfTable().end() ? resources.IdfAverage() : found->second;
    const double term_frequency = static_cast<double>(count) / static_cast<double>(candidates);
    keywords.push_back(Keyword{std::string(word), term_frequency * idf});
  }
  const auto better = [](const Keyword& a, const Keyword& b) {
    return a.weight != b.weight ? a.weight > b.weight : a.word < b.word;
  };
  const std::size_t keep =
      top_k < 0 ? keywords.size() : std::min(keywords.size(), static_cast<std::size_t>(top_k));
  std::partial_sort(keywords.begin(), keywords.begin() + static_cast<std::ptrdiff_t>(keep), keywords.end(), better);
  keywords.resize(keep);
  return keywords;
}

}  // namespace lumo::typing::text::jieba
