// The encoder core: the index hash on published test vectors, document
// frequencies, merging against training the whole, and the exact state.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <map>
#include <random>
#include <set>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <gtest/gtest.h>

#include "bm25/bm25_encoder.h"
#include "bm25/murmur_hash3.h"

namespace lumo::typing::text {
namespace {

using Strings = std::vector<std::string_view>;

TEST(MurmurHash3, MatchesPublishedVectors) {
  EXPECT_EQ(MurmurHash3X86_32(""), 0u);
  EXPECT_EQ(MurmurHash3X86_32("", 1), 0x514E28B7u);
  EXPECT_EQ(MurmurHash3X86_32("hello"), 0x248BFA47u);
  EXPECT_EQ(MurmurHash3X86_32("The quick brown fox jumps over the lazy dog"), 0x2E4FF723u);
}

BM25Encoder Trained(const std::vector<Strings>& docs, IdfKind idf = IdfKind::kDocument) {
  BM25Encoder encoder(0.75, 1.2, idf);
  for (const Strings& doc : docs) encoder.Train(std::span<const std::string_view>(doc));
  return encoder;
}

TEST(BM25Encoder, CountsDocumentsPerTokenAndEmptyDocuments) {
  const BM25Encoder encoder = Trained({{"a", "a", "b"}, {"b"}, {}});
  EXPECT_EQ(encoder.DocumentFrequency("a"), 1);
  EXPECT_EQ(encoder.TokenCount("a"), 2);
  EXPECT_EQ(encoder.DocumentFrequency("b"), 2);
  EXPECT_EQ(encoder.model().doc_count(), 3);
  EXPECT_DOUBLE_EQ(encoder.Idf("b"), std::log(1.0 + 1.5 / 2.5));
}

TEST(BM25Encoder, MergedPartsEqualTheWholeAndOverflowChangesNothing) {
  const std::vector<Strings> docs = {{"a", "b"}, {"b", "c", "c"}, {"a"}, {"d", "a", "a", "a"}};
  BM25Encoder first = Trained({docs[0], docs[2]});
  first.Merge(Trained({docs[1], docs[3]}));
  EXPECT_TRUE(first.SameStatistics(Trained(docs)));
  first.Merge(first);
  EXPECT_EQ(first.TokenCount("a"), 10);

  BM25Encoder other(0.75, 1.5, IdfKind::kDocument);
  EXPECT_THROW(first.Merge(other), std::invalid_argument);
  BM25Encoder full = BM25Encoder::Load(
      R"({"_b":0.75,"_doc_count":5,"_doc_length_average":1.0,"_doc_token_frequency":{"a":2147483647},"_k1":1.2})",
      IdfKind::kCorpus);
  EXPECT_FALSE(full.document_frequency_known());
  const BM25Encoder before = first;
  EXPECT_THROW(first.Merge(full), std::overflow_error);
  EXPECT_TRUE(first.SameStatistics(before));
}

TEST(BM25Encoder, DocumentWeightsWeighDocumentsAlikeWithoutTheTokens) {
  const Strings doc = {"a", "b", "a", "z"};
  const BM25Encoder encoder = Trained({{"a", "b"}, {"b", "c", "c"}, {"a"}});
  const BM25Encoder weights = encoder.DocumentWeights();
  EXPECT_EQ(weights.TokenCount("a"), 0);
  const StringSparseVector expected = encoder.EncodeDocument(std::span<const std::string_view>(doc));
  const StringSparseVector got = weights.EncodeDocument(std::span<const std::string_view>(doc));
  ASSERT_EQ(got.size(), expected.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].token, expected[i].token);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(got[i].weight), std::bit_cast<std::uint64_t>(expected[i].weight));
  }
  const BM25Encoder untrained = BM25Encoder(0.75, 1.2, IdfKind::kCorpus).DocumentWeights();
  EXPECT_THROW(untrained.EncodeDocument(std::span<const std::string_view>(doc)), std::runtime_error);
}

TEST(BM25Encoder, StateRoundTripsExactlyAndRejectsTruncation) {
  BM25Encoder encoder(0.1, 1.0 / 3.0, IdfKind::kCorpus);
  const Strings doc = {"x", "y", "x"};
  encoder.Train(std::span<const std::string_view>(doc));
  const std::string state = encoder.SaveState();
  EXPECT_TRUE(BM25Encoder::FromState(state, IdfKind::kCorpus).SameStatistics(encoder));
  for (std::size_t cut : {std::size_t{0}, std::size_t{9}, state.size() - 1}) {
    EXPECT_THROW(BM25Encoder::FromState(std::string_view(state).substr(0, cut), IdfKind::kCorpus),
                 std::invalid_argument);
  }
  EXPECT_THROW(BM25::FromState(encoder.model().SaveState() + "x"), std::invalid_argument);
}

TEST(BM25Encoder, DocumentFrequenciesOfUncountedTokensSurviveStateAndMerge) {
  // A model document may give a token a document frequency but no count.
  const BM25Encoder loaded = BM25Encoder::Load(
      R"({"_b":0.75,"_doc_count":2,"_doc_length_average":1.5,"_doc_token_frequency":{"a":3},)"
      R"("_document_frequency":{"a":2,"only":1},"_k1":1.2})",
      IdfKind::kDocument);
  EXPECT_EQ(loaded.model().distinct_token_count(), 1u);
  EXPECT_EQ(loaded.TokenCount("only"), 0);
  EXPECT_EQ(loaded.DocumentFrequency("only"), 1);
  EXPECT_TRUE(BM25Encoder::FromState(loaded.SaveState(), IdfKind::kDocument).SameStatistics(loaded));

  BM25Encoder merged = Trained({{"only", "b"}});
  merged.Merge(loaded);
  EXPECT_EQ(merged.TokenCount("only"), 1);
  EXPECT_EQ(merged.DocumentFrequency("only"), 2);
  EXPECT_EQ(merged.DocumentFrequency("a"), 2);
  EXPECT_EQ(merged.model().distinct_token_count(), 3u);
}

// Training reuses its working room from document to document: short lists
// after long ones, and a list long enough for the room to be released after.
TEST(BM25Encoder, ReusedTrainingRoomCountsLikeAStandardMap) {
  std::vector<std::string> vocabulary;
  for (int i = 0; i < 500; ++i) vocabulary.push_back("token" + std::to_string(i * 7919 % 1000));
  std::vector<Strings> docs;
  std::map<std::string_view, std::pair<int, int>> expected;  // occurrences, documents
  for (std::size_t length : {40u, 3u, 70000u, 20u, 17u, 300u}) {
    Strings doc;
    std::set<std::string_view> seen;
    for (std::size_t i = 0; i < length; ++i) {
      const std::string_view token = vocabulary[(i * i + length) % vocabulary.size()];
      doc.push_back(token);
      ++expected[token].first;
      expected[token].second += seen.insert(token).second ? 1 : 0;
    }
    docs.push_back(doc);
  }
  const BM25Encoder encoder = Trained(docs);
  EXPECT_EQ(encoder.model().distinct_token_count(), expected.size());
  for (const auto& [token, counts] : expected) {
    EXPECT_EQ(encoder.TokenCount(token), counts.first) << token;
    EXPECT_EQ(encoder.DocumentFrequency(token), counts.second) << token;
  }
}

// Indices spread as hashes are, small ids with repeats, and indices that
// crowd into a few buckets of the sort.
enum class Spread { kHashed, kSmallIds, kCrowded };

class IndexSort : public ::testing::TestWithParam<std::tuple<std::size_t, Spread>> {};

TEST_P(IndexSort, SortsStablyAndSumsSharedIndicesInInputOrder) {
  const auto [size, spread] = GetParam();
  std::mt19937 random(static_cast<std::uint32_t>(size));
  std::vector<IndexedWeight> entries(size);
  for (IndexedWeight& entry : entries) {
    const std::uint32_t bits = static_cast<std::uint32_t>(random());
    const std::uint32_t index = spread == Spread::kHashed     ? bits
                                : spread == Spread::kSmallIds ? bits % 700
                                                              : (bits % 3) << 29 | (bits >> 8) % 4;
    entry = {index, std::ldexp(static_cast<double>(random()), -static_cast<int>(random() % 40))};
  }
  std::vector<IndexedWeight> expected = entries;
  std::stable_sort(expected.begin(), expected.end(),
                   [](const IndexedWeight& a, const IndexedWeight& b) { return a.index < b.index; });
  std::vector<IndexedWeight> joined;
  for (const IndexedWeight& entry : expected) {
    if (!joined.empty() && joined.back().index == entry.index) {
      joined.back().weight += entry.weight;
    } else {
      joined.push_back(entry);
    }
  }
  IndexSortRoom room;
  SortAndJoin(entries, room);
  ASSERT_EQ(entries.size(), joined.size());
  for (std::size_t i = 0; i < joined.size(); ++i) {
    EXPECT_EQ(entries[i].index, joined[i].index);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(entries[i].weight), std::bit_cast<std::uint64_t>(joined[i].weight));
  }
}

INSTANTIATE_TEST_SUITE_P(SizesAndSpreads, IndexSort,
                         ::testing::Combine(::testing::Values(5u, 17u, 90u, 5000u, 100000u),
                                            ::testing::Values(Spread::kHashed, Spread::kSmallIds,
                                                              Spread::kCrowded)));

TEST(BM25Encoder, DocumentVectorsKeyedByIndexEqualTheTokenVectorsReKeyed) {
  std::vector<std::string> vocabulary;
  for (int i = 0; i < 3000; ++i) vocabulary.push_back(std::to_string(i));
  std::vector<Strings> docs;
  for (const std::size_t length : {1u, 16u, 17u, 200u, 70000u, 5u}) {
    Strings doc;
    for (std::size_t i = 0; i < length; ++i) doc.push_back(vocabulary[(i * i * 31 + length) % vocabulary.size()]);
    docs.push_back(doc);
  }
  const BM25Encoder encoder = Trained(docs);
  // Str tokens counted by index: two distinct tokens sharing an index (their
  // weights summed in first-occurrence order), and tokens crowding the top
  // bits of the index, which make the counter fall back to the keyed hash.
  std::vector<std::string> pool;
  for (int i = 0; i < 400000; ++i) pool.push_back("t" + std::to_string(i));
  std::unordered_map<std::uint32_t, std::size_t> seen;
  Strings clash;
  Strings crowd;
  for (std::size_t i = 0; i < pool.size(); ++i) {
    const std::uint32_t index = MurmurHash3X86_32(pool[i]);
    if (index >> 26 == 0 && crowd.size() < 120) crowd.push_back(pool[i]);
    const auto [at, fresh] = seen.emplace(index, i);
    if (!fresh && clash.empty()) clash = {pool[i], "x", pool[at->second], pool[i], "y", pool[at->second], pool[i]};
  }
  ASSERT_FALSE(clash.empty());
  ASSERT_EQ(crowd.size(), 120u);
  docs.push_back(clash);
  docs.push_back(crowd);
  crowd.resize(20);
  docs.push_back(crowd);  // within the probe limit: one home slot, indices in any order
  IndexScratch scratch;
  IndexScratch reference_scratch;
  const auto expect_same = [&](auto tokens) {
    const std::vector<IndexedWeight> expected = [&] {
      const auto span = ToIndexed(encoder.EncodeDocument(tokens), reference_scratch);
      return std::vector<IndexedWeight>(span.begin(), span.end());
    }();
    const auto indexed = encoder.EncodeDocumentIndexed(tokens, scratch);
    ASSERT_EQ(indexed.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(indexed[i].index, expected[i].index);
      EXPECT_EQ(std::bit_cast<std::uint64_t>(indexed[i].weight), std::bit_cast<std::uint64_t>(expected[i].weight));
    }
  };
  for (const Strings& doc : docs) {
    expect_same(std::span<const std::string_view>(doc));
    if (doc[0][0] == 't') continue;  // not decimal
    std::vector<std::int64_t> ids;
    for (const std::string_view token : doc) ids.push_back(std::stoll(std::string(token)) * 1000003 % 4096);
    expect_same(std::span<const std::int64_t>(ids));
  }
  const std::vector<std::int64_t> negative = {3, -1};
  EXPECT_THROW(encoder.EncodeDocumentIndexed(std::span<const std::int64_t>(negative), scratch), std::invalid_argument);
}

}  // namespace
}  // namespace lumo::typing::text
