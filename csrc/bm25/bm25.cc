#include "bm25/bm25.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <type_traits>
#include <vector>

#include "bm25/order_keys.h"
#include "bm25/token_counter.h"
#include "bm25/token_hash.h"
#include "bm25/token_text.h"

namespace lumo::typing::text {

namespace {

constexpr std::int64_t kMaxCount = std::numeric_limits<std::int32_t>::max();

[[noreturn]] void ThrowOverflow() { throw std::runtime_error("BM25 counter overflow"); }

// Checks that adding count to a corpus frequency (null: a new token) stays
// within 32 bits.
void CheckFrequencyFits(const std::int32_t* frequency, std::int64_t count) {
  const std::int64_t current = frequency ? *frequency : 0;
  if (count > kMaxCount - current) ThrowOverflow();
}

// Puts weights in the order of keys, sorted; the texts of string tokens
// decide between keys of equal order.
template <typename Weight>
void SortByKeys(std::vector<Weight>& weights, std::span<OrderKey> keys) {
  std::vector<OrderKey> scratch;
  SortOrderKeys(keys, scratch);
  if constexpr (std::is_same_v<Weight, StringTokenWeight>) {
    // Texts that share their first 8 bytes (or differ only by trailing zero
    // bytes there) have equal keys: such runs are rare and short.
    for (std::size_t start = 0; start < keys.size();) {
      std::size_t end = start + 1;
      while (end < keys.size() && keys[end].order == keys[start].order) ++end;
      if (end - start > 1) {
        std::sort(keys.begin() + static_cast<std::ptrdiff_t>(start), keys.begin() + static_cast<std::ptrdiff_t>(end),
                  [&weights](const OrderKey& left, const OrderKey& right) {
                    return weights[left.index].token < weights[right.index].token;
                  });
      }
      start = end;
    }
  }
  if (keys.size() <= 16) {
    Weight sorted[16];
    for (std::size_t i = 0; i < keys.size(); ++i) sorted[i] = weights[keys[i].index];
    std::copy(sorted, sorted + keys.size(), weights.begin());
    return;
  }
  std::vector<Weight> sorted;
  sorted.reserve(keys.size());
  for (const OrderKey& key : keys) sorted.push_back(weights[key.index]);
  weights.swap(sorted);
}

std::uint64_t OrderOf(const StringTokenWeight& weight) { return TokenOrderPrefix(weight.token); }
std::uint64_t OrderOf(const IntegerTokenWeight& weight) { return IdOrder(weight.token); }

}  // namespace

// Ascending key order: bytewise for string tokens, numeric for integers.
template <typename Weight>
void SortByToken(std::vector<Weight>& weights) {
  const std::size_t count = weights.size();
  OrderKey small[16];
  std::vector<OrderKey> large(count > 16 ? count : 0);
  const std::span<OrderKey> keys(count > 16 ? large.data() : small, count);
  for (std::size_t i = 0; i < count; ++i) keys[i] = {OrderOf(weights[i]), static_cast<std::uint32_t>(i)};
  SortByKeys(weights, keys);
}

template void SortByToken(std::vector<StringTokenWeight>&);
template void SortByToken(std::vector<IntegerTokenWeight>&);

namespace {

// Divides every weight by their sum, taken from 0.0 in ascending key order.
template <typename Weight>
void DivideBySum(std::vector<Weight>& weights) {
  double sum = 0.0;
  for (const Weight& entry : weights) sum += entry.weight;
  for (Weight& entry : weights) entry.weight = entry.weight / sum;
}

// ln((doc_count + 1) / (f + 0.5)) for a token text trained f times (frequency
// points at f), ln((doc_count + 1) / 1.5) for one never trained (null).
double Idf(std::int64_t doc_count, const std::int32_t* frequency) {
  const double n = static_cast<double>(doc_count + 1);
  return frequency ? std::log(n / (static_cast<double>(*frequency) + 0.5)) : std::log(n / 1.5);
}

}  // namespace

void BM25::CheckInitialized() const {
  if (_doc_count == 0 || std::abs(_doc_length_average - 0.0) < 1e-9) {
    throw std::runtime_error("BM25 has not been initialized");
  }
}

void BM25::CheckDocumentFits(std::size_t length) const {
  if (_doc_count >= kMaxCount) ThrowOverflow();
  const auto max_total = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  if (length > max_total - static_cast<std::uint64_t>(_doc_length_total)) ThrowOverflow();
}

void BM25::CountDocument(std::size_t length) {
  ++_doc_count;
  _doc_length_total += static_cast<std::int64_t>(length);
  _doc_length_average = static_cast<double>(_doc_length_total) / static_cast<double>(_doc_count);
}

template <typename Token>
void BM25::TrainTokens(std::span<const Token> tokens) {
  constexpr bool kIntegers = std::is_same_v<Token, std::int64_t>;
  if (tokens.empty()) return;
  const TokenCounter<Token> counter(tokens);
  const auto entries = counter.entries();
  CheckDocumentFits(tokens.size());
  // Room first, so that the frequency pointers below stay valid while the
  // new tokens go in.
  _doc_token_frequency.ReserveAdditional(entries.size());
  // A string token is its own text and was hashed while counting; an integer
  // token's decimal text is hashed here.
  TokenTextBuffer buffer;
  const auto text_of = [&](std::size_t i) -> std::string_view {
    if constexpr (kIntegers) {
      return IntegerTokenText(counter.token(entries[i]), buffer);
    } else {
      return counter.token(entries[i]);
    }
  };
  std::vector<std::uint64_t> text_hashes(kIntegers ? entries.size() : 0);
  const auto text_hash = [&](std::size_t i) { return kIntegers ? text_hashes[i] : entries[i].hash; };
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if constexpr (kIntegers) text_hashes[i] = HashTokenText(text_of(i));
    _doc_token_frequency.Prefetch(text_hash(i));
  }
  std::vector<std::int32_t*> frequencies(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    frequencies[i] = _doc_token_frequency.Find(text_of(i), text_hash(i));
    CheckFrequencyFits(frequencies[i], entries[i].count);
  }
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (frequencies[i]) *frequencies[i] += static_cast<std::int32_t>(entries[i].count);
  }
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (!frequencies[i]) _doc_token_frequency.Insert(text_of(i), text_hash(i), static_cast<std::int32_t>(entries[i].count));
  }
  CountDocument(tokens.size());
}

void BM25::train(std::span<const std::string_view> tokens) { TrainTokens(tokens); }

void BM25::train(std::span<const std::int64_t> tokens) { TrainTokens(tokens); }

namespace {

// The saturated term frequency of every distinct token of a document.
template <typename Token, typename Weight>
std::vector<Weight> WeighDocument(std::span<const Token> tokens, double b, double k1, double average) {
  const TokenCounter<Token> counter(tokens);
  const double dl = static_cast<double>(tokens.size());
  const double norm = ((dl / average) * b + (1.0 - b)) * k1;
  std::vector<Weight> weights;
  weights.reserve(counter.entries().size());
  for (const auto& entry : counter.entries()) {
    const double tf = static_cast<double>(entry.count);
    weights.push_back({counter.token(entry), entry.first_position, 0.0 + tf / (tf + norm)});
  }
  SortByToken(weights);
  return weights;
}

}  // namespace

StringSparseVector BM25::encode_document(std::span<const std::string_view> tokens) const {
  if (tokens.empty()) return {};
  CheckInitialized();
  return WeighDocument<std::string_view, StringTokenWeight>(tokens, _b, _k1, _doc_length_average);
}

IntegerSparseVector BM25::encode_document(std::span<const std::int64_t> tokens) const {
  if (tokens.empty()) return {};
  CheckInitialized();
  return WeighDocument<std::int64_t, IntegerTokenWeight>(tokens, _b, _k1, _doc_length_average);
}

double BM25::token_idf(std::string_view token_text) const {
  return Idf(_doc_count, _doc_token_frequency.Find(token_text, HashTokenText(token_text)));
}

// A repeated query token keeps the IDF of its first occurrence, which is the
// same value, so each distinct token is looked up once.
StringSparseVector BM25::encode_query(std::span<const std::string_view> tokens) const {
  if (tokens.empty()) return {};
  CheckInitialized();
  const TokenCounter<std::string_view> counter(tokens);
  StringSparseVector weights;
  weights.reserve(counter.entries().size());
  for (const auto& entry : counter.entries()) _doc_token_frequency.Prefetch(entry.hash);
  for (const auto& entry : counter.entries()) {
    const std::string_view token = counter.token(entry);
    const std::int32_t* frequency = _doc_token_frequency.Find(token, entry.hash);
    const double idf = Idf(_doc_count, frequency);
    weights.push_back({token, entry.first_position, idf});
  }
  SortByToken(weights);
  DivideBySum(weights);
  return weights;
}

IntegerSparseVector BM25::encode_query(std::span<const std::int64_t> tokens) const {
  if (tokens.empty()) return {};
  CheckInitialized();
  const TokenCounter<std::int64_t> counter(tokens);
  const auto entries = counter.entries();
  // Hash every text and start loading its slot before the first lookup.
  std::vector<std::uint64_t> text_hashes(entries.size());
  TokenTextBuffer buffer;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    text_hashes[i] = HashTokenText(IntegerTokenText(counter.token(entries[i]), buffer));
    _doc_token_frequency.Prefetch(text_hashes[i]);
  }
  IntegerSparseVector weights;
  weights.reserve(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::int64_t token = counter.token(entries[i]);
    const std::int32_t* frequency = _doc_token_frequency.Find(IntegerTokenText(token, buffer), text_hashes[i]);
    const double idf = Idf(_doc_count, frequency);
    weights.push_back({token, entries[i].first_position, idf});
  }
  SortByToken(weights);
  DivideBySum(weights);
  return weights;
}

std::optional<std::int32_t> BM25::token_frequency(std::string_view token_text) const {
  const std::int32_t* frequency = _doc_token_frequency.Find(token_text, HashTokenText(token_text));
  if (!frequency) return std::nullopt;
  return *frequency;
}

}  // namespace lumo::typing::text
