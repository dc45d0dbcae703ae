// The token helpers and the corpus table against the standard library's own
// comparisons and maps, on random texts of every short length.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "bm25/order_keys.h"
#include "bm25/sparse_vector.h"
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

// Around the size where the counter and the sort leave their in-object
// storage for the heap.
class TokenListSize : public ::testing::TestWithParam<std::size_t> {};

TEST_P(TokenListSize, CounterMatchesAStandardMap) {
  const std::vector<std::string> texts = RandomTexts(GetParam(), 5);
  const std::vector<std::string_view> tokens(texts.begin(), texts.end());
  std::map<std::string_view, std::int64_t> expected;
  for (std::string_view token : tokens) ++expected[token];
  const TokenCounter<std::string_view> counter(tokens);
  std::map<std::string_view, std::int64_t> counted;
  for (const auto& entry : counter.entries()) counted[counter.token(entry)] = entry.count;
  EXPECT_EQ(counted, expected);

  // Room that counted a longer list of other texts first counts the same.
  TokenCounter<std::string_view>::Room room;
  const std::vector<std::string> others = RandomTexts(GetParam() * 3, 6);
  const std::vector<std::string_view> other_tokens(others.begin(), others.end());
  { const TokenCounter<std::string_view> first(other_tokens, &room); }
  const TokenCounter<std::string_view> reused(tokens, &room);
  std::map<std::string_view, std::int64_t> recounted;
  for (const auto& entry : reused.entries()) recounted[reused.token(entry)] = entry.count;
  EXPECT_EQ(recounted, expected);
}

TEST_P(TokenListSize, SortByTokenMatchesStandardOrder) {
  // Distinct texts with NUL bytes and shared prefixes, so that many share
  // their first 8 bytes or differ only by trailing NULs there.
  std::vector<std::string> texts = RandomTexts(GetParam() * 2, 7);
  std::sort(texts.begin(), texts.end());
  texts.erase(std::unique(texts.begin(), texts.end()), texts.end());
  std::shuffle(texts.begin(), texts.end(), std::mt19937(GetParam()));
  texts.resize(std::min(texts.size(), GetParam()));
  StringSparseVector strings;
  for (std::size_t i = 0; i < texts.size(); ++i) strings.push_back({texts[i], i, static_cast<double>(i)});
  SortByToken(strings);
  std::vector<std::string> sorted = texts;
  std::sort(sorted.begin(), sorted.end());
  ASSERT_EQ(strings.size(), sorted.size());
  for (std::size_t i = 0; i < sorted.size(); ++i) {
    EXPECT_EQ(strings[i].token, sorted[i]);
    EXPECT_EQ(strings[i].weight, static_cast<double>(strings[i].first_position));
  }

  std::mt19937_64 random(GetParam());
  std::vector<std::int64_t> ids{std::numeric_limits<std::int64_t>::min(), -1, 0,
                                std::numeric_limits<std::int64_t>::max()};
  while (ids.size() < GetParam()) ids.push_back(static_cast<std::int64_t>(random()) >> (random() % 64));
  IntegerSparseVector integers;
  for (std::size_t i = 0; i < ids.size(); ++i) integers.push_back({ids[i], i, 0.0});
  SortByToken(integers);
  std::sort(ids.begin(), ids.end());
  for (std::size_t i = 0; i < ids.size(); ++i) EXPECT_EQ(integers[i].token, ids[i]);
}

INSTANTIATE_TEST_SUITE_P(Sizes, TokenListSize, ::testing::Values(5, 16, 17, 300));

// Keys drawn from a few bytes per level (narrow and wide bucket ranges, many
// duplicates) sort as a stable standard sort does: equal keys keep their
// input order, on which the summing of shared indices depends.
class OrderKeySort : public ::testing::TestWithParam<std::tuple<std::size_t, unsigned>> {};

TEST_P(OrderKeySort, MatchesAStableStandardSort) {
  const auto [size, spread] = GetParam();
  std::mt19937_64 random(size * 31 + spread);
  std::vector<OrderKey> keys(size);
  for (std::size_t i = 0; i < size; ++i) {
    std::uint64_t order = 0;
    for (int byte = 0; byte < 8 && spread > 0; ++byte) order = (order << 8) | (0x61 + random() % spread);
    keys[i] = {order >> (8 * (random() % 3)), static_cast<std::uint32_t>(i)};
    if (spread == 0) keys[i].order = random() % 5000;  // keys that differ only in their low 13 bits
  }
  std::vector<OrderKey> expected = keys;
  std::stable_sort(expected.begin(), expected.end(),
                   [](const OrderKey& a, const OrderKey& b) { return a.order < b.order; });
  std::vector<OrderKey> scratch;
  SortOrderKeys(keys, scratch);
  for (std::size_t i = 0; i < size; ++i) {
    EXPECT_EQ(keys[i].order, expected[i].order);
    EXPECT_EQ(keys[i].index, expected[i].index);
  }
}

INSTANTIATE_TEST_SUITE_P(SizesAndSpreads, OrderKeySort,
                         ::testing::Combine(::testing::Values(17, 80, 2000), ::testing::Values(0u, 1u, 2u, 26u, 190u)));

TEST(TokenFrequencyTable, KeepsEachCounterOfAnEntryApart) {
  TokenFrequencyTable table;
  const std::string long_text(40, 'x');
  for (const std::string& text : {std::string("a"), long_text}) {
    const std::uint64_t hash = HashTokenText(text);
    table.SetCounter(text, TokenFrequencyTable::kDocuments, 4);
    EXPECT_EQ(table.Find(text, hash), nullptr);
    EXPECT_EQ(*table.FindDocuments(text, hash), 4);
    table.Insert(text, hash, 9);  // the same entry gains its count
    EXPECT_EQ(*table.Find(text, hash), 9);
    EXPECT_EQ(*table.FindDocuments(text, hash), 4);
  }
  table.Set("count only", 2);
  EXPECT_EQ(table.FindDocuments("count only", HashTokenText("count only")), nullptr);
  EXPECT_EQ(table.entry_count(), 3u);
  EXPECT_EQ(table.size(), 3u);
  EXPECT_EQ(table.document_size(), 2u);
  std::map<std::string, std::int32_t> documents;
  table.ForEachCounter(TokenFrequencyTable::kDocuments,
                       [&documents](std::string_view text, std::int32_t value) { documents.emplace(text, value); });
  EXPECT_EQ(documents, (std::map<std::string, std::int32_t>{{"a", 4}, {long_text, 4}}));
}

}  // namespace
}  // namespace lumo::typing::text
