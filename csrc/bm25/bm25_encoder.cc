#include "bm25/bm25_encoder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <type_traits>
#include <stdexcept>
#include <utility>

#include "bm25/insertion_sort.h"
#include "bm25/kept_room.h"
#include "bm25/murmur_hash3.h"
#include "bm25/table_state.h"
#include "bm25/token_counter.h"
#include "bm25/token_hash.h"
#include "bm25/token_text.h"
#include "json/json_escape.h"
#include "json/json_value.h"

namespace lumo::typing::text {

namespace {

constexpr std::int64_t kMaxCount = std::numeric_limits<std::int32_t>::max();
constexpr std::string_view kDocumentFrequencyKey = "_document_frequency";

// Whether adding count to a table entry (null: a new token) stays in 32 bits
// (a restored or loaded table may hold negative counts).
bool CountFits(const std::int32_t* current, std::int64_t count) {
  const std::int64_t sum = (current ? *current : 0) + count;
  return sum <= kMaxCount && sum >= std::numeric_limits<std::int32_t>::min();
}

}  // namespace

// One probe per distinct token finds both of its counters: all are checked
// before any changes, so an overflow leaves the encoder as it was.
void BM25Encoder::AddDocument(std::span<const DistinctToken> tokens, std::size_t length) {
  using Entry = TokenFrequencyTable::Entry;
  constexpr std::size_t kPrefetchAhead = TokenFrequencyTable::kPrefetchAhead;
  model_.CheckDocumentFits(length);
  TokenFrequencyTable& table = model_._doc_token_frequency;
  // Room first, so that the entry pointers stay valid while new tokens go in.
  table.ReserveAdditional(tokens.size());
  for (std::size_t i = 0; i < std::min(kPrefetchAhead, tokens.size()); ++i) table.Prefetch(tokens[i].hash);
  std::vector<Entry*>& entries = train_room_.entries;
  entries.resize(tokens.size());
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (i + kPrefetchAhead < tokens.size()) table.Prefetch(tokens[i + kPrefetchAhead].hash);
    Entry* entry = table.FindEntry(tokens[i].text, tokens[i].hash);
    if (entry && (!CountFits(&entry->count, tokens[i].count) || !CountFits(&entry->documents, 1))) {
      throw std::runtime_error("BM25 counter overflow");
    }
    entries[i] = entry;
  }
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const auto count = static_cast<std::int32_t>(tokens[i].count);
    if (Entry* entry = entries[i]) {
      entry->count += count;
      entry->documents += 1;
      entry->held = TokenFrequencyTable::kBoth;
    } else {
      table.InsertEntry(tokens[i].text, tokens[i].hash, count, 1, TokenFrequencyTable::kBoth);
    }
  }
  model_.CountDocument(length);
}

void BM25Encoder::Train(std::span<const std::string_view> tokens) {
  TrainRoom& room = train_room_;
  {
    // The corpus table is larger than the caches: each new token's slot
    // starts loading as soon as the token is found.
    const TokenFrequencyTable& table = model_._doc_token_frequency;
    const TokenCounter<std::string_view> counter(tokens, &room.counter,
                                                 [&table](std::uint64_t hash) { table.Prefetch(hash); });
    room.distinct.clear();
    for (const auto& entry : counter.entries()) room.distinct.push_back({counter.token(entry), entry.hash, entry.count});
  }
  AddDocument(room.distinct, tokens.size());
  ReleaseIfLarge(room.counter.slots);
  ReleaseIfLarge(room.counter.entries);
  ReleaseIfLarge(room.distinct);
  ReleaseIfLarge(room.entries);
}

void BM25Encoder::Train(std::span<const std::int64_t> tokens) {
  const TokenCounter<std::int64_t> counter(tokens);
  const auto entries = counter.entries();
  // Integer ids are counted under their decimal text, as the model does.
  std::vector<TokenTextBuffer> texts(entries.size());
  std::vector<DistinctToken> distinct;
  distinct.reserve(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string_view text = IntegerTokenText(counter.token(entries[i]), texts[i]);
    distinct.push_back({text, HashTokenText(text), entries[i].count});
  }
  AddDocument(distinct, tokens.size());
}

BM25Encoder BM25Encoder::DocumentWeights() const {
  BM25Encoder weights(model_._b, model_._k1, idf_);
  weights.model_._doc_count = model_._doc_count;
  weights.model_._doc_length_total = model_._doc_length_total;
  weights.model_._doc_length_average = model_._doc_length_average;
  return weights;
}

double BM25Encoder::DocumentNorm(std::size_t length) const {
  return LengthNorm(length, model_._b, model_._k1, model_._doc_length_average);
}

// The model's document weights in the model's order of operations, left in
// first-occurrence order: index outputs sort by index instead, and a dict
// needs no order, so the model's sort by token would be wasted.
template <typename Token, typename Weight>
std::vector<Weight> BM25Encoder::WeighDocument(std::span<const Token> tokens) const {
  if (tokens.empty()) return {};
  model_.CheckInitialized();
  const TokenCounter<Token> counter(tokens);
  const double norm = DocumentNorm(tokens.size());
  std::vector<Weight> weights;
  weights.reserve(counter.entries().size());
  for (const auto& entry : counter.entries()) {
    weights.push_back({counter.token(entry), entry.first_position, TermWeight(entry.count, norm)});
  }
  return weights;
}

StringSparseVector BM25Encoder::EncodeDocument(std::span<const std::string_view> tokens) const {
  return WeighDocument<std::string_view, StringTokenWeight>(tokens);
}

IntegerSparseVector BM25Encoder::EncodeDocument(std::span<const std::int64_t> tokens) const {
  return WeighDocument<std::int64_t, IntegerTokenWeight>(tokens);
}

namespace {

std::uint32_t IndexOf(std::string_view token) { return MurmurHash3X86_32(token); }

std::uint32_t IndexOf(std::int64_t token) {
  if (token < 0 || token > std::numeric_limits<std::uint32_t>::max()) {
    throw std::invalid_argument("integer token " + std::to_string(token) +
                                " is not an index: integer tokens must be non-negative and fit in 32 bits");
  }
  return static_cast<std::uint32_t>(token);
}

}  // namespace

// WeighDocument's weights, each keyed by its token's index as it is made:
// the entries are in first-occurrence order as there, so the sums of tokens
// that share an index are taken in the same order.
template <typename Token>
std::span<const IndexedWeight> BM25Encoder::WeighDocumentIndexed(std::span<const Token> tokens,
                                                                 typename TokenCounter<Token>::Room& counter_room,
                                                                 IndexScratch& scratch) const {
  std::vector<IndexedWeight>& entries = scratch.entries;
  entries.clear();
  if (tokens.empty()) return entries;
  model_.CheckInitialized();
  const TokenCounter<Token> counter(tokens, &counter_room);
  const double norm = DocumentNorm(tokens.size());
  for (const auto& entry : counter.entries()) {
    entries.push_back({IndexOf(counter.token(entry)), TermWeight(entry.count, norm)});
  }
  ReleaseIfLarge(counter_room.slots);
  ReleaseIfLarge(counter_room.entries);
  SortAndJoin(entries, scratch.sort_room);
  return entries;
}

// Counted by index, the entries need only an insertion sort over the few
// neighbours that probing put out of order; tokens crafted to crowd the
// index table are counted by their keyed hash instead.
std::span<const IndexedWeight> BM25Encoder::EncodeDocumentIndexed(std::span<const std::string_view> tokens,
                                                                  IndexScratch& scratch) const {
  std::vector<IndexedWeight>& entries = scratch.entries;
  entries.clear();
  if (tokens.empty()) return entries;
  model_.CheckInitialized();
  IndexCounter& counter = scratch.index_counter;
  if (tokens.size() >= UINT32_MAX || !counter.Count(tokens)) {
    counter.ReleaseIfLarge();
    return WeighDocumentIndexed(tokens, scratch.text_counter, scratch);
  }
  // Most tokens of a document occur once or twice: their weights are made
  // once per document.
  const double norm = DocumentNorm(tokens.size());
  constexpr std::int64_t kCommonCounts = 4;
  double common[kCommonCounts + 1];
  for (std::int64_t count = 1; count <= kCommonCounts; ++count) common[count] = TermWeight(count, norm);
  counter.WeighInSlotOrder(
      [&](std::int64_t count) { return count <= kCommonCounts ? common[count] : TermWeight(count, norm); }, entries);
  counter.ReleaseIfLarge();
  StableInsertionSort(entries.data(), entries.size(), [](const IndexedWeight& entry) { return entry.index; });
  JoinEqualIndices(entries);
  return entries;
}

std::span<const IndexedWeight> BM25Encoder::EncodeDocumentIndexed(std::span<const std::int64_t> tokens,
                                                                  IndexScratch& scratch) const {
  return WeighDocumentIndexed(tokens, scratch.id_counter, scratch);
}

double BM25Encoder::DocumentIdf(std::string_view token_text, std::uint64_t hash) const {
  const double n = static_cast<double>(model_._doc_count);
  const std::int32_t* found = model_._doc_token_frequency.FindDocuments(token_text, hash);
  const double df = found ? static_cast<double>(*found) : 0.0;
  return std::log(1.0 + (n - df + 0.5) / (df + 0.5));
}

template <typename Token, typename Weight>
std::vector<Weight> BM25Encoder::WeighQueryByDocuments(std::span<const Token> tokens) const {
  if (tokens.empty()) return {};
  model_.CheckInitialized();
  // The slot of each new string token starts loading as soon as it is
  // found; an integer token is looked up by the hash of its text instead.
  const TokenFrequencyTable& table = model_._doc_token_frequency;
  const TokenCounter<Token> counter(tokens, nullptr, [&table](std::uint64_t hash) {
    if constexpr (std::is_same_v<Token, std::string_view>) table.Prefetch(hash);
  });
  std::vector<Weight> weights;
  weights.reserve(counter.entries().size());
  TokenTextBuffer buffer;
  for (const auto& entry : counter.entries()) {
    const Token& token = counter.token(entry);
    double idf;
    if constexpr (std::is_same_v<Token, std::int64_t>) {
      const std::string_view text = IntegerTokenText(token, buffer);
      idf = DocumentIdf(text, HashTokenText(text));
    } else {
      idf = DocumentIdf(token, entry.hash);
    }
    weights.push_back({token, entry.first_position, idf});
  }
  SortByToken(weights);
  double sum = 0.0;
  for (const Weight& weight : weights) sum += weight.weight;
  for (Weight& weight : weights) weight.weight = weight.weight / sum;
  return weights;
}

StringSparseVector BM25Encoder::EncodeQuery(std::span<const std::string_view> tokens) const {
  if (idf_ == IdfKind::kCorpus) return model_.encode_query(tokens);
  return WeighQueryByDocuments<std::string_view, StringTokenWeight>(tokens);
}

IntegerSparseVector BM25Encoder::EncodeQuery(std::span<const std::int64_t> tokens) const {
  if (idf_ == IdfKind::kCorpus) return model_.encode_query(tokens);
  return WeighQueryByDocuments<std::int64_t, IntegerTokenWeight>(tokens);
}

double BM25Encoder::Idf(std::string_view token_text) const {
  if (idf_ == IdfKind::kCorpus) return model_.token_idf(token_text);
  return DocumentIdf(token_text, HashTokenText(token_text));
}

std::int32_t BM25Encoder::TokenCount(std::string_view token_text) const {
  return model_.token_frequency(token_text).value_or(0);
}

std::int32_t BM25Encoder::DocumentFrequency(std::string_view token_text) const {
  const std::int32_t* found = model_._doc_token_frequency.FindDocuments(token_text, HashTokenText(token_text));
  return found ? *found : 0;
}

namespace {

// Whether an entry's counters plus another's stay in 32 bits.
bool EntrySumFits(const TokenFrequencyTable::Entry* target, const TokenFrequencyTable::Entry& source) {
  return !target || (CountFits(&target->count, source.count) && CountFits(&target->documents, source.documents));
}

// Adds every entry of source to target; throws std::overflow_error, with
// target unchanged, when a sum would pass 32 bits.
void AddEntries(TokenFrequencyTable& target, const TokenFrequencyTable& source) {
  using Entry = TokenFrequencyTable::Entry;
  struct Pending {
    std::string_view text;
    const Entry* source;
    Entry* target;
  };
  // Room first, so that the entry pointers stay valid while new tokens go in.
  target.ReserveAdditional(source.entry_count());
  std::vector<Pending> pending;
  pending.reserve(source.entry_count());
  source.ForEachEntry([&](std::string_view text, const Entry& entry) {
    Entry* current = target.FindEntry(text, entry.hash);
    if (!EntrySumFits(current, entry)) {
      throw std::overflow_error("cannot merge: the count of a token would pass 2147483647");
    }
    pending.push_back({text, &entry, current});
  });
  for (const Pending& item : pending) {
    if (item.target) {
      item.target->count += item.source->count;
      item.target->documents += item.source->documents;
      item.target->held |= item.source->held;
    } else {
      target.InsertEntry(item.text, item.source->hash, item.source->count, item.source->documents,
                         item.source->held);
    }
  }
}

}  // namespace

void BM25Encoder::Merge(const BM25Encoder& other) {
  if (&other == this) {
    const BM25Encoder copy(other);
    Merge(copy);
    return;
  }
  // Exact comparison: the statistics of different parameters do not mix.
  if (!(model_._b == other.model_._b) || !(model_._k1 == other.model_._k1)) {
    throw std::invalid_argument("cannot merge: b or k1 differ");
  }
  if (other.model_._doc_count > kMaxCount - model_._doc_count) {
    throw std::overflow_error("cannot merge: the document count would pass 2147483647");
  }
  if (other.model_._doc_length_total > std::numeric_limits<std::int64_t>::max() - model_._doc_length_total) {
    throw std::overflow_error("cannot merge: the total document length would pass 2^63 - 1");
  }
  AddEntries(model_._doc_token_frequency, other.model_._doc_token_frequency);
  document_frequency_known_ = document_frequency_known_ && other.document_frequency_known_;
  model_._doc_count += other.model_._doc_count;
  model_._doc_length_total += other.model_._doc_length_total;
  model_._doc_length_average =
      model_._doc_count == 0
          ? 0.0
          : static_cast<double>(model_._doc_length_total) / static_cast<double>(model_._doc_count);
}

namespace {

// Whether both hold the same tokens with the same counters (a restored
// table may place them elsewhere, so entries are looked up by text).
bool SameTable(const TokenFrequencyTable& left, const TokenFrequencyTable& right) {
  if (left.entry_count() != right.entry_count()) return false;
  bool same = true;
  left.ForEachEntry([&](std::string_view text, const TokenFrequencyTable::Entry& entry) {
    const TokenFrequencyTable::Entry* other = right.FindEntry(text, entry.hash);
    same = same && other != nullptr && other->held == entry.held && other->count == entry.count &&
           other->documents == entry.documents;
  });
  return same;
}

// Doubles compare by their bits: a state equals itself even when it holds a NaN.
bool SameBits(double left, double right) {
  return std::bit_cast<std::uint64_t>(left) == std::bit_cast<std::uint64_t>(right);
}

}  // namespace

bool BM25Encoder::SameStatistics(const BM25Encoder& other) const {
  const BM25& a = model_;
  const BM25& b = other.model_;
  return SameBits(a._b, b._b) && SameBits(a._k1, b._k1) && a._doc_count == b._doc_count &&
         a._doc_length_total == b._doc_length_total && SameBits(a._doc_length_average, b._doc_length_average) &&
         document_frequency_known_ == other.document_frequency_known_ &&
         SameTable(a._doc_token_frequency, b._doc_token_frequency);
}

std::string BM25Encoder::SaveState() const {
  const std::string model = model_.SaveState();
  std::string out;
  AppendStateValue<std::uint64_t>(out, model.size());
  out.append(model);
  AppendStateValue<std::uint8_t>(out, document_frequency_known_ ? 1 : 0);
  AppendTableState(out, model_._doc_token_frequency, TokenFrequencyTable::kDocuments);
  return out;
}

BM25Encoder BM25Encoder::FromState(std::string_view state, IdfKind idf) {
  // The model's state, behind its length, then the document frequencies.
  const auto model_size = ReadStateValue<std::uint64_t>(state);
  if (model_size > state.size()) throw std::invalid_argument("malformed BM25 state");
  BM25Encoder encoder(0.0, 0.0, idf);
  encoder.model_ = BM25::FromState(state.substr(0, model_size));
  state.remove_prefix(model_size);
  encoder.document_frequency_known_ = ReadStateValue<std::uint8_t>(state) != 0;
  ReadTableState(state, encoder.model_._doc_token_frequency, TokenFrequencyTable::kDocuments);
  if (!state.empty()) throw std::invalid_argument("malformed BM25 state");
  return encoder;
}

void BM25Encoder::Save(const std::string& path) const {
  JsonValue document = model_.Document();
  if (document_frequency_known_) {
    BM25::FillTokenTable(document.Member(kDocumentFrequencyKey), model_._doc_token_frequency,
                         TokenFrequencyTable::kDocuments);
  }
  BM25::WriteDocument(path, document);
}

BM25Encoder BM25Encoder::Load(std::string_view json_text, IdfKind idf) {
  BM25Encoder encoder(0.0, 0.0, idf);
  encoder.model_.load(json_text);
  const JsonValue document = JsonValue::Parse(json_text);
  const JsonValue* table = document.Find(kDocumentFrequencyKey);
  if (table == nullptr) {
    encoder.document_frequency_known_ = false;
    return encoder;
  }
  if (table->Kind() != JsonKind::Object) throw std::runtime_error("load document_frequency failed");
  TokenFrequencyTable& counts = encoder.model_._doc_token_frequency;
  counts.ReserveAdditional(table->Size());
  std::string scratch;
  for (const auto& [key, value] : table->Items()) {
    bool ok = false;
    const std::int32_t count = value.AsInteger(ok);
    if (!ok) throw std::runtime_error("load document_frequency failed");
    counts.SetCounter(BM25::TokenOfKey(key, scratch), TokenFrequencyTable::kDocuments, count);
  }
  return encoder;
}

namespace {

template <typename Vector>
std::span<const IndexedWeight> KeyByIndex(const Vector& vector, IndexScratch& scratch) {
  std::vector<IndexedWeight>& entries = scratch.entries;
  entries.clear();
  for (const auto& entry : vector) entries.push_back({IndexOf(entry.token), entry.weight});
  SortAndJoin(entries, scratch.sort_room);
  return entries;
}

}  // namespace

std::span<const IndexedWeight> ToIndexed(const StringSparseVector& vector, IndexScratch& scratch) {
  return KeyByIndex(vector, scratch);
}

std::span<const IndexedWeight> ToIndexed(const IntegerSparseVector& vector, IndexScratch& scratch) {
  return KeyByIndex(vector, scratch);
}

}  // namespace lumo::typing::text
