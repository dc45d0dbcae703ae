#include "tokenizer/jieba/jieba.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "jieba/engine_data.h"
#include "common/log.h"
#include "common/utf8.h"

namespace lumo::typing::text::jieba {
namespace {

using lumo::testing::EngineFiles;
using lumo::testing::LogMessages;
using lumo::testing::StderrCapture;
using Words = std::vector<std::string>;

class JiebaTest : public ::testing::Test {
 protected:
  JiebaTest()
      : dict_path_(files_.File("中国 10 ns\n人民 10 n\n中国人民 1000 nt\n")),
        model_path_(files_.File(std::string(lumo::testing::kSinglesModel))),
        user_path_(files_.File("甲乙 n\n")),
        idf_path_(files_.File("中国 2\n")),
        stop_path_(files_.File("的\n")) {}

  Words Cut(const Jieba& engine, const std::string& sentence) {
    Words words{"left over"};
    engine.Cut(sentence, words);
    return words;
  }
  Words CutForSearch(const Jieba& engine, const std::string& sentence) {
    Words words{"left over"};
    engine.CutForSearch(sentence, words);
    return words;
  }

  // The FATAL message and the log lines of a construction that must fail.
  std::pair<std::string, std::vector<std::string>> Failure(const std::string& dict, const std::string& model,
                                                           const std::string& user, const std::string& idf,
                                                           const std::string& stop) {
    StderrCapture capture;
    std::string what = "(no exception)";
    try {
      Jieba engine(dict, model, user, idf, stop);
    } catch (const FatalError& error) {
      what = error.what();
    }
    return {what, LogMessages(capture.Finish())};
  }

  EngineFiles files_;
  std::string dict_path_, model_path_, user_path_, idf_path_, stop_path_;
};

TEST_F(JiebaTest, CutRunsTheMixedAndCutForSearchTheQuerySegmenter) {
  Jieba engine(dict_path_, model_path_, user_path_, idf_path_, stop_path_);
  EXPECT_EQ(Cut(engine, "中国人民 甲乙丙"), (Words{"中国人民", " ", "甲乙", "丙"}));
  EXPECT_EQ(CutForSearch(engine, "中国人民 甲乙丙"), (Words{"中国", "人民", "中国人民", " ", "甲乙", "丙"}));
  EXPECT_EQ(Cut(engine, ""), Words{});
  EXPECT_EQ(CutForSearch(engine, ""), Words{});
  EXPECT_EQ(engine.Keywords().IdfTable().at("中国"), 2.0);
  EXPECT_EQ(engine.Keywords().StopWords().count("的"), 1u);
  Words full;
  engine.FullSegmenter().SplitSentence("中国人民", full);
  EXPECT_EQ(full, (Words{"中国", "中国人民", "人民"}));
}

TEST_F(JiebaTest, SliceFormsGiveTheSameWords) {
  Jieba engine(dict_path_, model_path_, user_path_, idf_path_, stop_path_);
  const auto sliced = [](const std::string& sentence, const std::vector<WordSlice>& slices) {
    Words words;
    for (const WordSlice& slice : slices) words.push_back(sentence.substr(slice.byte_offset, slice.byte_length));
    return words;
  };
  // A sentence that does not decode logs one error per call, whichever form
  // cuts it; the lenient decoder reads 0x80 0x41 as one two-byte rune.
  const std::vector<std::pair<std::string, bool>> cases = {
      {"", false},          {"中国人民 甲乙丙", false}, {"abc 3.14\t人民，中国。", false}, {"  ", false},
      {"\xE4\xB8", true}, {"中国\xFF", true},        {"\x80\x41中国", false},             {"x\xF0\x9F\x98\x80y", false}};
  for (const auto& [sentence, malformed] : cases) {
    std::vector<WordSlice> slices{WordSlice{7, 7}};
    StderrCapture capture;
    engine.CutSlices(sentence, slices);
    EXPECT_EQ(sliced(sentence, slices), Cut(engine, sentence)) << sentence;
    engine.CutForSearchSlices(sentence, slices);
    EXPECT_EQ(sliced(sentence, slices), CutForSearch(engine, sentence)) << sentence;
    const std::vector<std::string> expected = malformed ? Words(4, "ERROR decode failed. ") : Words{};
    EXPECT_EQ(LogMessages(capture.Finish()), expected) << sentence;
  }
}

// A text of code points (a str's storage), at every unit width that holds
// it, gives the words of its UTF-8, as code point slices.
TEST_F(JiebaTest, CodePointTextsGiveTheWordsOfTheirUtf8) {
  Jieba engine(dict_path_, model_path_, user_path_, idf_path_, stop_path_);
  using SliceCut = void (Jieba::*)(std::string_view, std::vector<WordSlice>&) const;
  using PointCut = void (Jieba::*)(const CodePointText&, std::vector<WordSlice>&) const;
  const std::vector<std::pair<SliceCut, PointCut>> cuts = {{&Jieba::CutSlices, &Jieba::CutSlices},
                                                           {&Jieba::CutForSearchSlices, &Jieba::CutForSearchSlices}};
  for (const std::string sentence : {"", "  ", "中国人民 甲乙丙", "abc 3.14\t人民，中国。", "caf\xC3\xA9 甲乙",
                                     "x\xF0\x9F\x98\x80y中国人民"}) {
    CodePointList code_points;
    ASSERT_TRUE(DecodeCodePoints(sentence, code_points));
    Rune widest = 0;
    for (const Rune code_point : code_points) widest = std::max(widest, code_point);
    std::vector<std::uint8_t> units1(code_points.begin(), code_points.end());
    std::vector<std::uint16_t> units2(code_points.begin(), code_points.end());
    std::vector<std::uint32_t> units4(code_points.begin(), code_points.end());
    std::vector<CodePointText> texts{CodePointText{units4.data(), units4.size(), 4}};
    if (widest < 0x10000) texts.push_back(CodePointText{units2.data(), units2.size(), 2});
    if (widest < 0x100) texts.push_back(CodePointText{units1.data(), units1.size(), 1});
    for (const auto& [slice_cut, point_cut] : cuts) {
      std::vector<WordSlice> slices;
      (engine.*slice_cut)(sentence, slices);
      Words expected;
      for (const WordSlice& slice : slices) expected.push_back(sentence.substr(slice.byte_offset, slice.byte_length));
      for (const CodePointText& text : texts) {
        (engine.*point_cut)(text, slices);
        Words got;
        for (const WordSlice& slice : slices) {
          std::string word;
          for (std::uint32_t k = 0; k < slice.byte_length; ++k) AppendUtf8(word, units4[slice.byte_offset + k]);
          got.push_back(word);
        }
        EXPECT_EQ(got, expected) << sentence << " width " << text.width;
      }
    }
  }
}

TEST_F(JiebaTest, EmptyUserPathBuildsFromTheMainDictionaryAlone) {
  Jieba engine(dict_path_, model_path_, "", idf_path_, stop_path_);
  EXPECT_EQ(Cut(engine, "甲乙"), (Words{"甲", "乙"}));
  EXPECT_EQ(engine.Dictionary().EntryCount(), 3u);
}

TEST_F(JiebaTest, LongSentencesAndManySeparators) {
  Jieba engine(dict_path_, model_path_, user_path_, idf_path_, stop_path_);
  std::string separators;
  for (int i = 0; i < 100000; ++i) separators += i % 2 == 0 ? " " : "\xEF\xBC\x8C";
  const Words words = Cut(engine, separators);
  ASSERT_EQ(words.size(), 100000u);
  EXPECT_EQ(words[1], "\xEF\xBC\x8C");
  // One range of a million runes, without a separator.
  std::string long_range;
  for (int i = 0; i < 250000; ++i) long_range += "中国人民";
  const Words long_words = Cut(engine, long_range);
  ASSERT_EQ(long_words.size(), 250000u);
  EXPECT_EQ(long_words.back(), "中国人民");
  EXPECT_EQ(CutForSearch(engine, long_range).size(), 750000u);
}

TEST_F(JiebaTest, ThreadsSharingOneEngineGetTheSequentialResults) {
  Jieba engine(dict_path_, model_path_, user_path_, idf_path_, stop_path_);
  const std::vector<std::string> sentences{"中国人民 甲乙丙", "甲乙中国abc 123", "人民，中国。", ""};
  std::vector<Words> expected;
  for (const std::string& sentence : sentences) expected.push_back(CutForSearch(engine, sentence));
  std::vector<int> mismatches(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 500; ++round) {
        const std::size_t k = static_cast<std::size_t>(round + t) % sentences.size();
        Words words;
        engine.CutForSearch(sentences[k], words);
        if (words != expected[k]) ++mismatches[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

TEST_F(JiebaTest, ResourcesLoadInOrderAndTheFirstFatalStopsConstruction) {
  const std::string missing = files_.dir().Path("missing.txt");
  const std::string bad_dict = files_.File("bad\xFF 1 n\nok 1 n\n");
  struct Case {
    std::string dict, model, user, idf, stop, expected;
  };
  const std::vector<Case> cases{
      {missing, missing, missing, missing, missing, "exp: [ifs.is_open()] false. open " + missing + " failed."},
      {bad_dict, model_path_, missing, missing, missing, "exp: [ifs.is_open()] false. open " + missing + " failed"},
      {bad_dict, missing, "", missing, missing, "exp: [ifile.is_open()] false. open " + missing + " failed"},
      {bad_dict, model_path_, "", missing, stop_path_, "exp: [ifs.is_open()] false. open " + missing + " failed"},
      {bad_dict, model_path_, "", idf_path_, missing, "exp: [ifs.is_open()] false. open " + missing + " failed"},
  };
  for (const Case& c : cases) {
    const auto [what, messages] = Failure(c.dict, c.model, c.user, c.idf, c.stop);
    EXPECT_EQ(what, c.expected);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), "FATAL " + c.expected);
    // The dictionary loaded first: its ERROR line precedes the FATAL one.
    if (c.dict == bad_dict) {
      EXPECT_EQ(messages.front(), "ERROR Decode bad\xFF failed.");
      EXPECT_EQ(messages.size(), 2u);
    }
  }
}

// Resident memory now and at its peak since the last reset (writing 5 to
// clear_refs), in bytes; -1 when the system does not report it.
[[maybe_unused]] void ResetPeakResident() { std::ofstream("/proc/self/clear_refs") << "5"; }
[[maybe_unused]] long StatusBytes(const std::string& field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(field, 0) == 0) return std::stol(line.substr(field.size())) * 1024;
  }
  return -1;
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define LUMO_UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define LUMO_UNDER_SANITIZER 1
#endif
#endif

// A sentence without separators is one range: its working memory, result
// included, stays within 32 bytes per rune (dictionary words, HMM stretches
// and ASCII runs alike).
TEST_F(JiebaTest, ASentenceWithoutSeparatorsNeedsAtMost32BytesPerRune) {
#ifdef LUMO_UNDER_SANITIZER
  GTEST_SKIP() << "sanitizer allocators keep freed memory";
#else
  Jieba engine(dict_path_, model_path_, user_path_, idf_path_, stop_path_);
  std::string sentence;
  const std::string piece = "中国人民甲乙丙丁嗯嗯嗯嗯嗯嗯abc12中国";  // 24 runes
  while (sentence.size() < 12'000'000) sentence += piece;
  const double runes = static_cast<double>(sentence.size() / piece.size() * 24);
  using SliceCut = void (Jieba::*)(std::string_view, std::vector<WordSlice>&) const;
  for (const SliceCut cut : std::initializer_list<SliceCut>{&Jieba::CutSlices, &Jieba::CutForSearchSlices}) {
    std::vector<WordSlice> slices;
    ResetPeakResident();
    const long before = StatusBytes("VmRSS:");
    (engine.*cut)(sentence, slices);
    const long peak = StatusBytes("VmHWM:");
    if (before < 0 || peak < 0) GTEST_SKIP() << "no peak resident memory in /proc/self/status";
    ASSERT_FALSE(slices.empty());
    EXPECT_EQ(slices.back().byte_offset + slices.back().byte_length, sentence.size());
    EXPECT_LE(static_cast<double>(peak - before) / runes, 32.0);
  }
#endif
}

}  // namespace
}  // namespace lumo::typing::text::jieba
