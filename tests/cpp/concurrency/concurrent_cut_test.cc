// Several threads segment with one engine at once, through CutSlices and
// CutForSearchSlices over code points (a str) and over UTF-8 (bytes): the
// calls behind the Python methods cut and cut_for_search. Run under ThreadSanitizer by the test command; here it also
// checks that every thread gets the words that one thread alone gets.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/utf8.h"
#include "support/engine_fixtures.h"
#include "tokenizer/jieba/jieba.h"

namespace lumo::typing::text::jieba {
namespace {

using ::lumo::testing::MemoryFile;

std::unique_ptr<Jieba> SmallEngine() {
  const MemoryFile dictionary(::lumo::testing::kDictionary);
  const MemoryFile model(::lumo::testing::kHmmModel);
  const MemoryFile user(::lumo::testing::kUserDictionary);
  const MemoryFile idf(::lumo::testing::kIdf);
  const MemoryFile stop_words(::lumo::testing::kStopWords);
  return std::make_unique<Jieba>(dictionary.path(), model.path(), user.path(), idf.path(), stop_words.path());
}

// Sentences of different lengths, so that the threads' scratch buffers grow
// at different times.
std::vector<std::string> Sentences() {
  std::vector<std::string> sentences = {
      "\xE6\x88\x91\xE6\x98\xAF\xE5\x8C\x97\xE4\xBA\xAC\xE5\xA4\xA7\xE5\xAD\xA6\xE7\x9A\x84\xE5\xAD\xA6\xE7\x94\x9F",
      "\xE4\xB8\xAD\xE5\x9B\xBD\xE4\xBA\xBA\xE6\xB0\x91\xEF\xBC\x8C abc 123 4.5\t\xE4\xBA\xAC\xE5\xA4\xA7",
      "\xF0\xA0\x80\x80\xE5\xAD\x97 ab \xE7\x94\x9F\xE4\xBA\xBA\xE7\x9A\x84\xE4\xBA\x86",
      "",
  };
  std::string longer;
  for (int i = 0; i < 200; ++i) longer += sentences[i % 3];
  sentences.push_back(longer);
  return sentences;
}

TEST(ConcurrentCut, ThreadsSharingOneEngineGetTheWordsOfOneThread) {
  const std::unique_ptr<Jieba> engine = SmallEngine();
  const std::vector<std::string> sentences = Sentences();
  std::vector<std::vector<std::string>> expected_cut(sentences.size());
  std::vector<std::vector<std::string>> expected_search(sentences.size());
  for (std::size_t i = 0; i < sentences.size(); ++i) {
    engine->Cut(sentences[i], expected_cut[i]);
    engine->CutForSearch(sentences[i], expected_search[i]);
  }
  ASSERT_GT(expected_cut[0].size(), 1u);
  // Each sentence's code points, as a str stores them (4 bytes each here).
  std::vector<std::vector<std::uint32_t>> code_points(sentences.size());
  for (std::size_t i = 0; i < sentences.size(); ++i) {
    CodePointList decoded;
    ASSERT_TRUE(DecodeCodePoints(sentences[i], decoded));
    code_points[i].assign(decoded.begin(), decoded.end());
  }
  // The words of a slice list, as the bindings copy them.
  const auto words_of = [](const std::string& sentence, const std::vector<WordSlice>& slices) {
    std::vector<std::string> words;
    for (const WordSlice& slice : slices) words.push_back(sentence.substr(slice.byte_offset, slice.byte_length));
    return words;
  };
  const auto words_of_code_points = [](const std::vector<std::uint32_t>& text, const std::vector<WordSlice>& slices) {
    std::vector<std::string> words;
    for (const WordSlice& slice : slices) {
      std::string& word = words.emplace_back();
      for (std::uint32_t k = 0; k < slice.byte_length; ++k) AppendUtf8(word, text[slice.byte_offset + k]);
    }
    return words;
  };

  constexpr int kThreads = 4;
  constexpr int kRounds = 30;
  std::atomic<int> mismatches{0};
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      while (!go.load()) std::this_thread::yield();
      std::vector<WordSlice> slices;
      for (int round = 0; round < kRounds; ++round) {
        for (std::size_t k = 0; k < sentences.size(); ++k) {
          const std::size_t i = (k + static_cast<std::size_t>(t)) % sentences.size();
          engine->CutSlices(sentences[i], slices);
          if (words_of(sentences[i], slices) != expected_cut[i]) ++mismatches;
          engine->CutForSearchSlices(sentences[i], slices);
          if (words_of(sentences[i], slices) != expected_search[i]) ++mismatches;
          const CodePointText text{code_points[i].data(), code_points[i].size(), 4};
          engine->CutSlices(text, slices);
          if (words_of_code_points(code_points[i], slices) != expected_cut[i]) ++mismatches;
          engine->CutForSearchSlices(text, slices);
          if (words_of_code_points(code_points[i], slices) != expected_search[i]) ++mismatches;
        }
      }
    });
  }
  go = true;
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
}  // namespace lumo::typing::text::jieba
