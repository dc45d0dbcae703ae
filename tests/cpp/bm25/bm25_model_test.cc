// Training and encoding of the native model, checked against the worked
// examples and values computed by hand from the formulas.
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "bm25/bm25.h"

namespace lumo::typing::text {
namespace {

using Strings = std::vector<std::string_view>;
using Ids = std::vector<std::int64_t>;

void Train(BM25& model, const Strings& tokens) { model.train(std::span<const std::string_view>(tokens)); }
void Train(BM25& model, const Ids& tokens) { model.train(std::span<const std::int64_t>(tokens)); }

// The model of the worked examples: a, b, a then b, c.
BM25 TrainedModel() {
  BM25 model(0.75, 1.2);
  Train(model, Strings{"a", "b", "a"});
  Train(model, Strings{"b", "c"});
  return model;
}

std::vector<std::string_view> Keys(const StringSparseVector& weights) {
  std::vector<std::string_view> keys;
  for (const auto& entry : weights) keys.push_back(entry.token);
  return keys;
}

TEST(BM25Training, WorkedExampleWithBothTokenKinds) {
  BM25 model = TrainedModel();
  EXPECT_EQ(model.doc_count(), 2);
  EXPECT_EQ(model.doc_length_total(), 5);
  EXPECT_EQ(model.doc_length_average(), 2.5);
  EXPECT_EQ(model.token_frequency("a"), 2);
  EXPECT_EQ(model.token_frequency("b"), 2);
  EXPECT_EQ(model.token_frequency("c"), 1);
  EXPECT_EQ(model.distinct_token_count(), 3u);

  Train(model, Ids{7, 7, -5});
  EXPECT_EQ(model.doc_count(), 3);
  EXPECT_EQ(model.doc_length_total(), 8);
  EXPECT_EQ(model.doc_length_average(), 8.0 / 3.0);
  EXPECT_EQ(model.token_frequency("7"), 2);
  EXPECT_EQ(model.token_frequency("-5"), 1);
}

TEST(BM25Training, EveryOccurrenceCountsAndAverageIsRecomputed) {
  BM25 model(0.75, 1.2);
  Train(model, Strings{"a", "a", "a"});
  EXPECT_EQ(model.token_frequency("a"), 3);
  EXPECT_EQ(model.doc_count(), 1);
  EXPECT_EQ(model.doc_length_average(), 3.0);
  Train(model, Strings{"z"});
  EXPECT_EQ(model.doc_length_average(), 2.0);
}

TEST(BM25Training, IntegerAndStringTokensShareTheirText) {
  BM25 model(0.75, 1.2);
  Train(model, Ids{7});
  Train(model, Strings{"7"});
  EXPECT_EQ(model.token_frequency("7"), 2);
  EXPECT_EQ(model.distinct_token_count(), 1u);
}

struct IdText {
  std::int64_t id;
  const char* text;
};

class IntegerTokenTextTest : public testing::TestWithParam<IdText> {};

TEST_P(IntegerTokenTextTest, KeyedByDecimalText) {
  BM25 model(0.75, 1.2);
  Train(model, Ids{GetParam().id});
  EXPECT_EQ(model.token_frequency(GetParam().text), 1);
  EXPECT_EQ(model.distinct_token_count(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Ids, IntegerTokenTextTest,
                         testing::Values(IdText{0, "0"}, IdText{-5, "-5"}, IdText{10, "10"},
                                         IdText{std::numeric_limits<std::int64_t>::min(), "-9223372036854775808"},
                                         IdText{std::numeric_limits<std::int64_t>::max(), "9223372036854775807"}));

TEST(BM25Training, EmptyDocumentChangesNothing) {
  BM25 model(0.75, 1.2);
  Train(model, Strings{});
  Train(model, Ids{});
  EXPECT_EQ(model.doc_count(), 0);
  EXPECT_EQ(model.distinct_token_count(), 0u);
}

TEST(BM25Training, ParametersAreStoredAsGivenAndLeaveStatisticsAlone) {
  BM25 model = TrainedModel();
  model.b(-3.0);
  model.k1(std::numeric_limits<double>::infinity());
  EXPECT_EQ(model.b(), -3.0);
  EXPECT_TRUE(std::isinf(model.k1()));
  EXPECT_EQ(model.doc_count(), 2);
  EXPECT_EQ(model.doc_length_average(), 2.5);
  EXPECT_EQ(model.token_frequency("a"), 2);
}

TEST(BM25Training, TokensWithAnyBytesAndLengthsStayDistinct) {
  // Lengths around the inline-key and hash word boundaries, shared prefixes,
  // NUL bytes and high bytes.
  std::vector<std::string> texts = {"",
                                    std::string(1, '\0'),
                                    std::string(2, '\0'),
                                    "\xff",
                                    "\xff\xfe",
                                    "abc",
                                    "abcd",
                                    "abcdefg",
                                    "abcdefgh",
                                    "abcdefghijklmnop",
                                    "abcdefghijklmnopq",
                                    "abcdefghijklmnopqr",
                                    std::string(100, 'x'),
                                    std::string(101, 'x')};
  BM25 model(0.75, 1.2);
  Strings views(texts.begin(), texts.end());
  Train(model, views);
  Train(model, views);
  EXPECT_EQ(model.distinct_token_count(), texts.size());
  for (const auto& text : texts) EXPECT_EQ(model.token_frequency(text), 2) << text.size();
  EXPECT_EQ(model.token_frequency("abcdefghijklmno"), std::nullopt);
}

TEST(BM25Training, ManyDistinctTokensSurviveRehashing) {
  BM25 model(0.75, 1.2);
  std::vector<std::string> texts;
  for (int i = 0; i < 5000; ++i) texts.push_back("token" + std::to_string(i * 7919));
  Strings views(texts.begin(), texts.end());
  Train(model, views);
  Ids ids;
  for (int i = 0; i < 5000; ++i) ids.push_back(i);
  Train(model, ids);
  EXPECT_EQ(model.distinct_token_count(), 10000u);
  EXPECT_EQ(model.token_frequency("token7919"), 1);
  EXPECT_EQ(model.token_frequency("4999"), 1);
  EXPECT_EQ(model.token_frequency("5000"), std::nullopt);
}

TEST(BM25Encoding, EmptyListGivesEmptyVectorEvenUntrained) {
  const BM25 model(0.75, 1.2);
  EXPECT_TRUE(model.encode_document(std::span<const std::string_view>()).empty());
  EXPECT_TRUE(model.encode_document(std::span<const std::int64_t>()).empty());
  EXPECT_TRUE(model.encode_query(std::span<const std::string_view>()).empty());
  EXPECT_TRUE(model.encode_query(std::span<const std::int64_t>()).empty());
}

TEST(BM25Encoding, UntrainedModelRefusesEveryEncoder) {
  const BM25 model(0.75, 1.2);
  const Strings strings{"a"};
  const Ids ids{1};
  const auto expect_refused = [](auto call) {
    try {
      call();
      ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& error) {
      EXPECT_STREQ(error.what(), "BM25 has not been initialized");
    }
  };
  expect_refused([&] { model.encode_document(std::span<const std::string_view>(strings)); });
  expect_refused([&] { model.encode_document(std::span<const std::int64_t>(ids)); });
  expect_refused([&] { model.encode_query(std::span<const std::string_view>(strings)); });
  expect_refused([&] { model.encode_query(std::span<const std::int64_t>(ids)); });
}

TEST(BM25Encoding, DocumentWorkedExample) {
  const BM25 model = TrainedModel();
  const Strings tokens{"a", "a", "d"};
  const auto weights = model.encode_document(std::span<const std::string_view>(tokens));
  const double norm = ((3.0 / 2.5) * 0.75 + (1.0 - 0.75)) * 1.2;
  ASSERT_EQ(Keys(weights), (Strings{"a", "d"}));
  EXPECT_EQ(weights[0].weight, 2.0 / (2.0 + norm));
  EXPECT_EQ(weights[1].weight, 1.0 / (1.0 + norm));
  EXPECT_NEAR(weights[0].weight, 0.591716, 5e-7);
  EXPECT_NEAR(weights[1].weight, 0.420168, 5e-7);
  EXPECT_EQ(weights[0].first_position, 0u);
  EXPECT_EQ(weights[1].first_position, 2u);
}

TEST(BM25Encoding, DocumentIgnoresCorpusFrequenciesAndLengthEqualToAverage) {
  BM25 model(0.75, 1.2);
  Train(model, Strings{"x", "y"});
  Train(model, Strings{"x", "z"});
  const Strings tokens{"x", "never"};  // length 2 = average: norm = k1
  const auto weights = model.encode_document(std::span<const std::string_view>(tokens));
  ASSERT_EQ(weights.size(), 2u);
  EXPECT_EQ(weights[0].weight, 1.0 / (1.0 + 1.2));
  EXPECT_EQ(weights[1].weight, weights[0].weight);
  EXPECT_NEAR(weights[0].weight, 0.454545, 5e-7);
}

TEST(BM25Encoding, DocumentWithZeroBIgnoresLength) {
  BM25 model = TrainedModel();
  model.b(0.0);
  const Ids tokens{5, 5, 5, 5, 5, 5, 5, 9};
  const auto weights = model.encode_document(std::span<const std::int64_t>(tokens));
  ASSERT_EQ(weights.size(), 2u);
  EXPECT_EQ(weights[0].token, 5);
  EXPECT_EQ(weights[0].weight, 7.0 / (7.0 + 1.2));
  EXPECT_EQ(weights[1].weight, 1.0 / (1.0 + 1.2));
}

TEST(BM25Encoding, QueryWorkedExamples) {
  const BM25 model = TrainedModel();
  const Strings tokens{"a", "c", "z", "a"};
  const auto weights = model.encode_query(std::span<const std::string_view>(tokens));
  ASSERT_EQ(Keys(weights), (Strings{"a", "c", "z"}));
  const double idf_a = std::log(3.0 / 2.5);
  const double idf_c = std::log(3.0 / 1.5);
  const double sum = (0.0 + idf_a) + idf_c + idf_c;
  EXPECT_EQ(weights[0].weight, idf_a / sum);
  EXPECT_EQ(weights[1].weight, idf_c / sum);
  EXPECT_EQ(weights[2].weight, idf_c / sum);
  EXPECT_NEAR(weights[0].weight, 0.116231, 5e-7);
  EXPECT_NEAR(weights[1].weight, 0.441885, 5e-7);

  BM25 single(0.75, 1.2);
  Train(single, Strings{"a", "a", "a"});
  const Strings query{"a", "b"};
  const auto signed_weights = single.encode_query(std::span<const std::string_view>(query));
  ASSERT_EQ(signed_weights.size(), 2u);
  EXPECT_NEAR(signed_weights[0].weight, 2.057912, 5e-7);
  EXPECT_NEAR(signed_weights[1].weight, -1.057912, 5e-7);
}

TEST(BM25Encoding, QueryDuplicatesAddNothingAndOneTokenWeighsOne) {
  const BM25 model = TrainedModel();
  const Strings aba{"a", "b", "a"};
  const Strings ab{"a", "b"};
  const auto with_repeat = model.encode_query(std::span<const std::string_view>(aba));
  const auto without = model.encode_query(std::span<const std::string_view>(ab));
  ASSERT_EQ(with_repeat.size(), 2u);
  EXPECT_EQ(with_repeat[0].weight, without[0].weight);
  EXPECT_EQ(with_repeat[1].weight, without[1].weight);
  const Strings aa{"a", "a"};
  const auto one = model.encode_query(std::span<const std::string_view>(aa));
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].weight, 1.0);
}

TEST(BM25Encoding, IntegerQueryUsesTheDecimalText) {
  BM25 model = TrainedModel();
  Train(model, Ids{7, 7, 8});
  const Ids ids{7, 8};
  const Strings texts{"7", "8"};
  const auto by_id = model.encode_query(std::span<const std::int64_t>(ids));
  const auto by_text = model.encode_query(std::span<const std::string_view>(texts));
  ASSERT_EQ(by_id.size(), 2u);
  EXPECT_EQ(by_id[0].token, 7);
  EXPECT_EQ(by_id[0].weight, by_text[0].weight);
  EXPECT_EQ(by_id[1].weight, by_text[1].weight);
  EXPECT_EQ(model.token_idf("7"), std::log(4.0 / 2.5));
}

TEST(BM25Encoding, KeysAscendBytewiseAndNumerically) {
  const BM25 model = TrainedModel();
  const Strings tokens{"b", "ab", "a", "B", "\xc3\xa9", "abcdefgh", "abcdefgh\x01", "abcdefgh", "", "a\0"};
  const auto weights = model.encode_document(std::span<const std::string_view>(tokens));
  EXPECT_EQ(Keys(weights), (Strings{"", "B", "a", "ab", "abcdefgh", "abcdefgh\x01", "b", "\xc3\xa9"}));
  const Ids ids{10, 2, -1, std::numeric_limits<std::int64_t>::min(), 2};
  const auto numeric = model.encode_query(std::span<const std::int64_t>(ids));
  ASSERT_EQ(numeric.size(), 4u);
  EXPECT_EQ(numeric[0].token, std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(numeric[1].token, -1);
  EXPECT_EQ(numeric[2].token, 2);
  EXPECT_EQ(numeric[3].token, 10);
}

TEST(BM25Encoding, OrderingTiesBeyondEightBytesAndZeroBytes) {
  const BM25 model = TrainedModel();
  const std::string with_nul("ab\0", 3);
  const Strings tokens{"abcdefghz", "abcdefgha", std::string_view(with_nul), "ab", "abcdefgh"};
  const auto weights = model.encode_document(std::span<const std::string_view>(tokens));
  EXPECT_EQ(Keys(weights), (Strings{"ab", std::string_view(with_nul), "abcdefgh", "abcdefgha", "abcdefghz"}));
}

// The encoders that write into a caller's vector replace whatever it held
// (here a longer and a shorter earlier result) with the by-value result.
TEST(BM25Encoding, ReusedResultVectorsMatchFreshOnes) {
  const BM25 model = TrainedModel();
  const Strings long_list{"q", "r", "s", "t", "u", "v", "w", "x", "y", "z", "a", "b", "c", "d", "e", "f", "g", "h", "q"};
  const Strings short_list{"b", "zz", "a", "b"};
  const auto expect_same = [](const StringSparseVector& reused, const StringSparseVector& fresh) {
    ASSERT_EQ(Keys(reused), Keys(fresh));
    for (std::size_t i = 0; i < fresh.size(); ++i) EXPECT_EQ(reused[i].weight, fresh[i].weight);
  };
  StringSparseVector reused;
  for (const Strings* tokens : {&long_list, &short_list, &long_list}) {
    const std::span<const std::string_view> span(*tokens);
    model.encode_document(span, reused);
    expect_same(reused, model.encode_document(span));
    model.encode_query(span, reused);
    expect_same(reused, model.encode_query(span));
  }
  IntegerSparseVector ids{{9, 0, 1.0}};
  model.encode_query(std::span<const std::int64_t>(), ids);
  EXPECT_TRUE(ids.empty());
}

}  // namespace
}  // namespace lumo::typing::text
