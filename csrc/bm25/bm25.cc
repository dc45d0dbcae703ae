#include "bm25/bm25.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <type_traits>
#include <vector>

#include "bm25/kept_room.h"
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

// Working room of training, the encoders and the sort, reused by the calls
// of one thread: after the longest list so far, a call allocates nothing but
// its result. None of these calls runs while another on the same thread is
// under way, so one room per thread suffices.
struct CallRoom {
  TokenCounter<std::string_view>::Room string_counts;
  TokenCounter<std::int64_t>::Room id_counts;
  std::vector<OrderKey> keys;
  std::vector<OrderKey> sort_spare;
  std::vector<StringTokenWeight> sorted_strings;
  std::vector<IntegerTokenWeight> sorted_ids;
  std::vector<std::uint64_t> text_hashes;
  std::vector<std::int32_t*> frequencies;
};

thread_local CallRoom call_room;

// No room grows past the length of the list a call is given.
void TrimCallRoom() {
  CallRoom& room = call_room;
  ReleaseIfLarge(room.string_counts.slots);
  ReleaseIfLarge(room.string_counts.entries);
  ReleaseIfLarge(room.id_counts.slots);
  ReleaseIfLarge(room.id_counts.entries);
  ReleaseIfLarge(room.keys);
  ReleaseIfLarge(room.sort_spare);
  ReleaseIfLarge(room.sorted_strings);
  ReleaseIfLarge(room.sorted_ids);
  ReleaseIfLarge(room.text_hashes);
  ReleaseIfLarge(room.frequencies);
}

TokenCounter<std::string_view>::Room& CounterRoom(CallRoom& room, std::string_view) { return room.string_counts; }
TokenCounter<std::int64_t>::Room& CounterRoom(CallRoom& room, std::int64_t) { return room.id_counts; }
std::vector<StringTokenWeight>& SortedRoom(CallRoom& room, const StringTokenWeight&) { return room.sorted_strings; }
std::vector<IntegerTokenWeight>& SortedRoom(CallRoom& room, const IntegerTokenWeight&) { return room.sorted_ids; }

std::uint64_t OrderOf(const StringTokenWeight& weight) { return TokenOrderPrefix(weight.token); }
std::uint64_t OrderOf(const IntegerTokenWeight& weight) { return IdOrder(weight.token); }

// Lists of up to this many distinct tokens are sorted without working room.
constexpr std::size_t kStackSort = 16;

// Texts that share their first 8 bytes (or differ only by trailing zero
// bytes there) have equal keys: such runs are rare and short, and are put in
// bytewise order of the full texts.
void OrderTies(std::span<OrderKey> keys, const std::vector<StringTokenWeight>& weights) {
  for (std::size_t start = 0; start + 1 < keys.size();) {
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

}  // namespace

// Ascending key order: bytewise for string tokens, numeric for integers.
template <typename Weight>
void SortByToken(std::vector<Weight>& weights) {
  const std::size_t count = weights.size();
  if (count < 2) return;
  if (count <= kStackSort) {
    // A typical query: keys and entries sorted on the stack.
    OrderKey keys[kStackSort];
    for (std::size_t i = 0; i < count; ++i) keys[i] = {OrderOf(weights[i]), static_cast<std::uint32_t>(i)};
    order_keys_detail::InsertionSort(keys, count);
    if constexpr (std::is_same_v<Weight, StringTokenWeight>) OrderTies({keys, count}, weights);
    Weight sorted[kStackSort];
    for (std::size_t i = 0; i < count; ++i) sorted[i] = weights[keys[i].index];
    std::copy(sorted, sorted + count, weights.begin());
    return;
  }
  CallRoom& room = call_room;
  std::vector<OrderKey>& keys = room.keys;
  keys.resize(count);
  for (std::size_t i = 0; i < count; ++i) keys[i] = {OrderOf(weights[i]), static_cast<std::uint32_t>(i)};
  SortOrderKeys(keys, room.sort_spare);
  if constexpr (std::is_same_v<Weight, StringTokenWeight>) OrderTies(keys, weights);
  // The sorted entries go to room of the same size, which then changes
  // places with weights, so that neither allocates once grown.
  std::vector<Weight>& sorted = SortedRoom(room, weights.front());
  sorted.resize(count);
  for (std::size_t i = 0; i < count; ++i) sorted[i] = weights[keys[i].index];
  weights.swap(sorted);
  if (count > kKeptRoom) TrimCallRoom();
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
  CallRoom& room = call_room;
  // The corpus table is larger than the caches: the slot of each new string
  // token starts loading as soon as the token is found. An integer token is
  // looked up by the hash of its text, which comes later.
  const TokenCounter<Token> counter(tokens, &CounterRoom(room, Token{}), [this](std::uint64_t hash) {
    if constexpr (!kIntegers) _doc_token_frequency.Prefetch(hash);
  });
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
  std::vector<std::uint64_t>& text_hashes = room.text_hashes;
  if constexpr (kIntegers) {
    text_hashes.resize(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) text_hashes[i] = HashTokenText(text_of(i));
  }
  const auto text_hash = [&](std::size_t i) { return kIntegers ? text_hashes[i] : entries[i].hash; };
  constexpr std::size_t kAhead = TokenFrequencyTable::kPrefetchAhead;
  for (std::size_t i = 0; i < std::min(kAhead, entries.size()); ++i) _doc_token_frequency.Prefetch(text_hash(i));
  std::vector<std::int32_t*>& frequencies = room.frequencies;
  frequencies.resize(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (i + kAhead < entries.size()) _doc_token_frequency.Prefetch(text_hash(i + kAhead));
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
  if (tokens.size() > kKeptRoom) TrimCallRoom();
}

void BM25::train(std::span<const std::string_view> tokens) { TrainTokens(tokens); }

void BM25::train(std::span<const std::int64_t> tokens) { TrainTokens(tokens); }

namespace {

// The saturated term frequency of every distinct token of a document, into
// weights.
template <typename Token, typename Weight>
void WeighDocument(std::span<const Token> tokens, double b, double k1, double average, std::vector<Weight>& weights) {
  const TokenCounter<Token> counter(tokens, &CounterRoom(call_room, Token{}));
  const double norm = LengthNorm(tokens.size(), b, k1, average);
  weights.resize(counter.entries().size());
  Weight* out = weights.data();
  for (const auto& entry : counter.entries()) {
    *out++ = {counter.token(entry), entry.first_position, TermWeight(entry.count, norm)};
  }
  SortByToken(weights);
  if (tokens.size() > kKeptRoom) TrimCallRoom();
}

// The by-value form of an encoding that fills a vector in place.
template <typename Weights, typename Fill>
Weights Filled(Fill fill) {
  Weights weights;
  fill(weights);
  return weights;
}

}  // namespace

StringSparseVector BM25::encode_document(std::span<const std::string_view> tokens) const {
  return Filled<StringSparseVector>([&](auto& weights) { encode_document(tokens, weights); });
}

IntegerSparseVector BM25::encode_document(std::span<const std::int64_t> tokens) const {
  return Filled<IntegerSparseVector>([&](auto& weights) { encode_document(tokens, weights); });
}

void BM25::encode_document(std::span<const std::string_view> tokens, StringSparseVector& weights) const {
  weights.clear();
  if (tokens.empty()) return;
  CheckInitialized();
  WeighDocument(tokens, _b, _k1, _doc_length_average, weights);
}

void BM25::encode_document(std::span<const std::int64_t> tokens, IntegerSparseVector& weights) const {
  weights.clear();
  if (tokens.empty()) return;
  CheckInitialized();
  WeighDocument(tokens, _b, _k1, _doc_length_average, weights);
}

double BM25::token_idf(std::string_view token_text) const {
  return Idf(_doc_count, _doc_token_frequency.Find(token_text, HashTokenText(token_text)));
}

StringSparseVector BM25::encode_query(std::span<const std::string_view> tokens) const {
  return Filled<StringSparseVector>([&](auto& weights) { encode_query(tokens, weights); });
}

IntegerSparseVector BM25::encode_query(std::span<const std::int64_t> tokens) const {
  return Filled<IntegerSparseVector>([&](auto& weights) { encode_query(tokens, weights); });
}

// A repeated query token keeps the IDF of its first occurrence, which is the
// same value, so each distinct token is looked up once.
void BM25::encode_query(std::span<const std::string_view> tokens, StringSparseVector& weights) const {
  weights.clear();
  if (tokens.empty()) return;
  CheckInitialized();
  // Each distinct token's slot starts loading as soon as the token is found.
  const TokenCounter<std::string_view> counter(tokens, &call_room.string_counts,
                                               [this](std::uint64_t hash) { _doc_token_frequency.Prefetch(hash); });
  weights.resize(counter.entries().size());
  StringTokenWeight* out = weights.data();
  for (const auto& entry : counter.entries()) {
    const std::string_view token = counter.token(entry);
    const std::int32_t* frequency = _doc_token_frequency.Find(token, entry.hash);
    *out++ = {token, entry.first_position, Idf(_doc_count, frequency)};
  }
  SortByToken(weights);
  DivideBySum(weights);
  if (tokens.size() > kKeptRoom) TrimCallRoom();
}

void BM25::encode_query(std::span<const std::int64_t> tokens, IntegerSparseVector& weights) const {
  weights.clear();
  if (tokens.empty()) return;
  CheckInitialized();
  CallRoom& room = call_room;
  const TokenCounter<std::int64_t> counter(tokens, &room.id_counts);
  const auto entries = counter.entries();
  // Hash every text and start loading its slot before the first lookup.
  std::vector<std::uint64_t>& text_hashes = room.text_hashes;
  text_hashes.resize(entries.size());
  TokenTextBuffer buffer;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    text_hashes[i] = HashTokenText(IntegerTokenText(counter.token(entries[i]), buffer));
    _doc_token_frequency.Prefetch(text_hashes[i]);
  }
  weights.resize(entries.size());
  IntegerTokenWeight* out = weights.data();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::int64_t token = counter.token(entries[i]);
    const std::int32_t* frequency = _doc_token_frequency.Find(IntegerTokenText(token, buffer), text_hashes[i]);
    *out++ = {token, entries[i].first_position, Idf(_doc_count, frequency)};
  }
  SortByToken(weights);
  DivideBySum(weights);
  if (tokens.size() > kKeptRoom) TrimCallRoom();
}

std::optional<std::int32_t> BM25::token_frequency(std::string_view token_text) const {
  const std::int32_t* frequency = _doc_token_frequency.Find(token_text, HashTokenText(token_text));
  if (!frequency) return std::nullopt;
  return *frequency;
}

}  // namespace lumo::typing::text
