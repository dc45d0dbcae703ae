// Decoding and the mixed, query and full segmenters on arbitrary bytes over a
// small fixed dictionary and HMM model. On every input: the runes tile the
// sentence; the mixed words are exact slices that join back to the sentence;
// every query and full word is a slice at its stated offset; the string and
// record forms of each segmenter agree; the query words are the mixed words,
// each preceded by exactly the two- and three-rune dictionary words inside it;
// the decoded code points, stored as a str stores them, give the same words.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "tokenizer/jieba/jieba.h"
#include "tokenizer/jieba/rune.h"

namespace {

using lumo::fuzz::Fail;
using lumo::fuzz::MemoryFile;
namespace jieba = lumo::typing::text::jieba;

const jieba::Jieba& Engine() {
  static const std::unique_ptr<jieba::Jieba> engine = [] {
    const MemoryFile dictionary(lumo::fuzz::kDictionary);
    const MemoryFile model(lumo::fuzz::kHmmModel);
    const MemoryFile user(lumo::fuzz::kUserDictionary);
    const MemoryFile idf(lumo::fuzz::kIdf);
    const MemoryFile stop_words(lumo::fuzz::kStopWords);
    return std::make_unique<jieba::Jieba>(dictionary.path(), model.path(), user.path(), idf.path(),
                                          stop_words.path());
  }();
  return *engine;
}

using CodePoints = std::vector<std::uint32_t>;

CodePoints CodePointsOf(std::string_view text) {
  jieba::RuneList runes;
  CodePoints points;
  if (!jieba::DecodeRunes(text, runes)) Fail("a word does not decode");
  for (std::size_t i = 0; i < runes.size(); ++i) points.push_back(runes[i].code_point);
  return points;
}

// The words of the main and user dictionaries (first field of each line), as
// code points: read here from the data text, not through the engine.
const std::set<CodePoints>& DictionaryWords() {
  static const std::set<CodePoints> words = [] {
    std::set<CodePoints> result;
    for (const std::string_view file : {lumo::fuzz::kDictionary, lumo::fuzz::kUserDictionary}) {
      std::size_t start = 0;
      while (start < file.size()) {
        const std::size_t end = file.find('\n', start);
        const std::string_view line = file.substr(start, end - start);
        result.insert(CodePointsOf(line.substr(0, line.find(' '))));
        start = end + 1;
      }
    }
    return result;
  }();
  return words;
}

// The query words expected from the mixed words: for a word of L runes, its
// dictionary pairs when L > 2, then its dictionary triples when L > 3, each
// in order of position, then the word itself.
std::vector<std::string_view> ExpectedQueryWords(const std::vector<jieba::WordRecord>& mixed) {
  std::vector<std::string_view> expected;
  for (const jieba::WordRecord& record : mixed) {
    jieba::RuneList runes;
    jieba::DecodeRunes(record.text, runes);
    for (std::size_t width = 2; width <= 3; ++width) {
      if (runes.size() <= width) break;
      for (std::size_t i = 0; i + width <= runes.size(); ++i) {
        const std::size_t begin = runes[i].byte_offset;
        const std::size_t end = runes[i + width - 1].byte_offset + runes[i + width - 1].byte_length;
        const std::string_view sub = std::string_view(record.text).substr(begin, end - begin);
        if (DictionaryWords().count(CodePointsOf(sub)) != 0) expected.push_back(sub);
      }
    }
    expected.push_back(record.text);
  }
  return expected;
}

// The decoded runes cover the sentence byte for byte, in order.
bool CheckRunes(std::string_view sentence) {
  jieba::RuneList runes;
  if (!jieba::DecodeRunes(sentence, runes)) {
    if (runes.size() != 0) Fail("failed decode left runes");
    return false;
  }
  std::size_t offset = 0;
  for (std::size_t i = 0; i < runes.size(); ++i) {
    const jieba::DecodedRune& rune = runes[i];
    if (rune.byte_offset != offset || rune.byte_length < 1 || rune.byte_length > 4 || rune.rune_offset != i ||
        rune.rune_length != 1) {
      Fail("rune does not follow its predecessor");
    }
    offset += rune.byte_length;
  }
  if (offset != sentence.size()) Fail("runes do not cover the sentence");
  return true;
}

// Every record is the slice of the sentence at its offset; the string form
// of the same segmenter gives the same words.
template <typename Segmenter>
void CheckSlices(const Segmenter& segmenter, std::string_view sentence, std::vector<jieba::WordRecord>& records) {
  records.clear();
  segmenter.SplitSentence(sentence, records);
  std::vector<std::string> words;
  segmenter.SplitSentence(sentence, words);
  if (words.size() != records.size()) Fail("string and record forms differ in length");
  for (std::size_t i = 0; i < records.size(); ++i) {
    const jieba::WordRecord& record = records[i];
    if (record.text.empty()) Fail("empty word");
    if (record.byte_offset > sentence.size() || sentence.size() - record.byte_offset < record.text.size() ||
        sentence.substr(record.byte_offset, record.text.size()) != record.text) {
      Fail("word is not the slice at its offset");
    }
    if (words[i] != record.text) Fail("string and record forms differ");
  }
}

// When the decoded code points are all a str can hold (no surrogate, below
// 0x110000), the cuts over them, stored 4 and (when they fit) 2 bytes each,
// give the same words as the cuts over the UTF-8, counted in runes.
void CheckCodePointCuts(const jieba::Jieba& engine, std::string_view sentence) {
  jieba::RuneList runes;
  if (!jieba::DecodeRunes(sentence, runes)) return;
  std::vector<std::uint32_t> units4;
  std::vector<std::uint32_t> rune_at(sentence.size() + 1, 0);  // byte offset -> rune index
  for (std::size_t i = 0; i < runes.size(); ++i) {
    const std::uint32_t code_point = runes[i].code_point;
    if ((code_point >= 0xD800 && code_point <= 0xDFFF) || code_point >= 0x110000) return;
    units4.push_back(code_point);
    rune_at[runes[i].byte_offset] = static_cast<std::uint32_t>(i);
  }
  rune_at[sentence.size()] = static_cast<std::uint32_t>(runes.size());
  const std::vector<std::uint16_t> units2(units4.begin(), units4.end());
  std::vector<jieba::CodePointText> texts{{units4.data(), units4.size(), 4}};
  bool narrow = true;
  for (const std::uint32_t code_point : units4) narrow = narrow && code_point < 0x10000;
  if (narrow) texts.push_back({units2.data(), units2.size(), 2});
  std::vector<jieba::WordSlice> bytes_cut;
  std::vector<jieba::WordSlice> points_cut;
  for (const bool search : {false, true}) {
    search ? engine.CutForSearchSlices(sentence, bytes_cut) : engine.CutSlices(sentence, bytes_cut);
    for (const jieba::CodePointText& text : texts) {
      search ? engine.CutForSearchSlices(text, points_cut) : engine.CutSlices(text, points_cut);
      if (points_cut.size() != bytes_cut.size()) Fail("code point and UTF-8 cuts differ in length");
      for (std::size_t k = 0; k < bytes_cut.size(); ++k) {
        const std::uint32_t first = rune_at[bytes_cut[k].byte_offset];
        const std::uint32_t end = rune_at[bytes_cut[k].byte_offset + bytes_cut[k].byte_length];
        if (points_cut[k].byte_offset != first || points_cut[k].byte_length != end - first) {
          Fail("code point and UTF-8 cuts differ");
        }
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view sentence(reinterpret_cast<const char*>(data), size);
  const jieba::Jieba& engine = Engine();
  const bool decodes = CheckRunes(sentence);

  std::vector<jieba::WordRecord> records;
  CheckSlices(engine.MixedSegmenter(), sentence, records);
  // The mixed words tile the sentence: consecutive, joining back to it.
  if (!decodes && !records.empty()) Fail("a sentence that does not decode gave words");
  std::size_t offset = 0;
  std::string joined;
  for (const jieba::WordRecord& record : records) {
    if (record.byte_offset != offset) Fail("mixed words leave a gap or overlap");
    offset += record.text.size();
    joined += record.text;
  }
  if (decodes && joined != sentence) Fail("mixed words do not join back to the sentence");

  const std::vector<jieba::WordRecord> mixed = records;  // the views below point into it
  const std::vector<std::string_view> expected_query = ExpectedQueryWords(mixed);
  CheckSlices(engine.QuerySegmenter(), sentence, records);
  if (records.size() != expected_query.size()) Fail("query words differ in number from the expected ones");
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (records[i].text != expected_query[i]) Fail("query word differs from the expected one");
  }
  CheckSlices(engine.FullSegmenter(), sentence, records);

  std::vector<std::string> cut;
  engine.Cut(sentence, cut);
  std::string cut_joined;
  for (const std::string& word : cut) cut_joined += word;
  if (decodes && cut_joined != sentence) Fail("Cut does not join back to the sentence");
  engine.CutForSearch(sentence, cut);
  CheckCodePointCuts(engine, sentence);
  return 0;
}
