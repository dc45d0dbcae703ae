// The token helpers and the corpus table against the standard library's own
// comparisons and maps, on random texts of every short length.
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "bm25/token_counter.h"
#include "bm25/token_frequency_table.h"
#include "bm25/token_hash.h"

namespace lumo::typing::text {
namespace {

// Texts of lengths 0 to 40 over a small alphabet with NUL and high bytes, so
// that shared prefixes and equal texts are common.
std::vector<std::string> RandomTexts(std::size_t count, unsigned seed) {
  std::mt19937 random(seed);
  const std::string alphabet("a\0\x7f\x80\xff", 5);
  std::vector<std::string> texts;
  for (std::size_t i = 0; i < count; ++i) {
    std::string text(random() % 41, ' ');
    for (char& byte : text) byte = alphabet[random() % alphabet.size()];
    texts.push_back(text);
  }
  return texts;
}

TEST(TokenHelpers, AgreeWithStringViewComparisons) {
  const auto texts = RandomTexts(3000, 7);
  for (std::size_t i = 0; i + 1 < texts.size(); ++i) {
    const std::string_view a = texts[i];
    const std::string_view b = texts[i + 1];
    ASSERT_EQ(TokensEqual(a, b), a == b);
    ASSERT_TRUE(TokensEqual(a, a));
    const std::uint64_t pa = TokenOrderPrefix(a);
    const std::uint64_t pb = TokenOrderPrefix(b);
    // Prefixes never contradict the bytewise order, and differ whenever the
    // texts differ within their first 8 bytes.
    if (pa < pb) {
      ASSERT_LT(a, b);
    }
    if (pa > pb) {
      ASSERT_GT(a, b);
    }
    if (a.substr(0, 8) != b.substr(0, 8) && a.size() >= 8 && b.size() >= 8) {
      ASSERT_NE(pa, pb);
    }
    if (a == b) {
      ASSERT_EQ(HashTokenText(a), HashTokenText(b));
    }
  }
}

TEST(TokenHelpers, HashSeparatesTextsOfEveryShortLength) {
  std::map<std::uint64_t, std::string> seen;
  for (const std::string& text : RandomTexts(20000, 11)) {
    const auto [place, inserted] = seen.emplace(HashTokenText(text), text);
    if (!inserted) {
      ASSERT_EQ(place->second, text) << "hash collision";
    }
  }
  EXPECT_NE(HashTokenText(std::string_view("\0", 1)), HashTokenText(std::string_view("\0\0", 2)));
  EXPECT_NE(HashTokenId(0), HashTokenId(1));
}

TEST(TokenFrequencyTable, MatchesAStandardMap) {
  TokenFrequencyTable table;
  std::map<std::string, std::int32_t> expected;
  std::int32_t count = 0;
  for (const std::string& text : RandomTexts(5000, 3)) {
    table.Set(text, ++count);
    expected[text] = count;
  }
  EXPECT_EQ(table.size(), expected.size());
  for (const auto& [text, value] : expected) {
    const std::int32_t* found = table.Find(text, HashTokenText(text));
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(*found, value);
  }
  std::map<std::string, std::int32_t> visited;
  table.ForEach([&visited](std::string_view text, std::int32_t value) { visited.emplace(text, value); });
  EXPECT_EQ(visited, expected);
  EXPECT_EQ(table.Find("absent text", HashTokenText("absent text")), nullptr);

  const TokenFrequencyTable copy = table;  // deep: changes to one leave the other
  table.Set("a", -1);
  EXPECT_NE(*copy.Find("a", HashTokenText("a")), -1);
}

TEST(TokenCounter, CountsInFirstOccurrenceOrder) {
  const std::vector<std::string_view> tokens{"b", "a", "b", "", "a", "b"};
  const TokenCounter<std::string_view> counter(tokens);
  ASSERT_EQ(counter.entries().size(), 3u);
  EXPECT_EQ(counter.token(counter.entries()[0]), "b");
  EXPECT_EQ(counter.entries()[0].count, 3);
  EXPECT_EQ(counter.entries()[1].first_position, 1u);
  EXPECT_EQ(counter.entries()[2].count, 1);
  const std::vector<std::int64_t> ids{-1, 5, -1};
  const TokenCounter<std::int64_t> id_counter(ids);
  ASSERT_EQ(id_counter.entries().size(), 2u);
  EXPECT_EQ(id_counter.entries()[0].count, 2);
}

}  // namespace
}  // namespace lumo::typing::text
