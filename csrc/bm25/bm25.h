// The BM25 model: parameters and corpus statistics, trained one document per
// call, and the document and query encoders built on them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "bm25/sparse_vector.h"
#include "bm25/token_frequency_table.h"
#include "json/json_value.h"

namespace lumo::typing::text {

// k1 * (1 - b + b * dl / avgdl) for a document of length dl, in the model's
// order of operations.
inline double LengthNorm(std::size_t length, double b, double k1, double average) {
  const double dl = static_cast<double>(length);
  return ((dl / average) * b + (1.0 - b)) * k1;
}

// The document weight of a token that occurs count times in a document of
// norm LengthNorm, added to an empty weight as the model does.
inline double TermWeight(std::int64_t count, double norm) {
  const double tf = static_cast<double>(count);
  return 0.0 + tf / (tf + norm);
}

class BM25 {
 public:
  // Stores b and k1 as given (no validation); the statistics start empty.
  BM25(double b, double k1) : _b(b), _k1(k1) {}
  BM25(const BM25&) = default;
  BM25& operator=(const BM25&) = default;
  BM25(BM25&&) noexcept = default;
  BM25& operator=(BM25&&) noexcept = default;

  double b() const { return _b; }
  void b(double value) { _b = value; }
  double k1() const { return _k1; }
  void k1(double value) { _k1 = value; }

  // Adds one document. Every occurrence of a token adds 1 to its corpus
  // frequency; integer ids are counted under their decimal text. An empty list
  // changes nothing. Throws std::runtime_error "BM25 counter overflow", with
  // the model unchanged, when the document count or a token's frequency would
  // pass 2147483647 (or the total length 2^63 - 1). The views need to live
  // only for the call.
  void train(std::span<const std::string_view> tokens);
  void train(std::span<const std::int64_t> tokens);

  // Weights each distinct token of a document by its saturated,
  // length-normalised term frequency tf / (tf + norm). An empty list gives an
  // empty vector; otherwise an untrained model throws std::runtime_error
  // "BM25 has not been initialized". String results point into tokens.
  StringSparseVector encode_document(std::span<const std::string_view> tokens) const;
  IntegerSparseVector encode_document(std::span<const std::int64_t> tokens) const;

  // Weights each distinct token of a query by its IDF, divided by the sum of
  // the weights in ascending key order. Empty and untrained as above.
  StringSparseVector encode_query(std::span<const std::string_view> tokens) const;
  IntegerSparseVector encode_query(std::span<const std::int64_t> tokens) const;

  // The same four encoders writing into weights, whose entries they replace,
  // so that a caller encoding list after list reuses its storage.
  void encode_document(std::span<const std::string_view> tokens, StringSparseVector& weights) const;
  void encode_document(std::span<const std::int64_t> tokens, IntegerSparseVector& weights) const;
  void encode_query(std::span<const std::string_view> tokens, StringSparseVector& weights) const;
  void encode_query(std::span<const std::int64_t> tokens, IntegerSparseVector& weights) const;

  // ln((doc_count + 1) / (f + 0.5)) for a token text trained f times, and
  // ln((doc_count + 1) / 1.5) for one never trained.
  double token_idf(std::string_view token_text) const;

  // Replaces the parameters and statistics with those of a model document
  // (JSON text). Validates the whole document first: on any failure it throws
  // and the model is unchanged. Empty text: std::runtime_error "json data
  // should not be empty"; a member of the wrong kind: std::runtime_error
  // "load doc_token_frequency failed", "load doc_count failed", "load
  // doc_length_average failed", "load b failed" or "load k1 failed", for the
  // first failing member in that order; a number that does not convert:
  // std::invalid_argument or std::out_of_range from the parser. Token counts
  // are set (not added); tokens the document does not name keep theirs. The
  // total length becomes the loaded average times the loaded count, rounded.
  void load(std::string_view json_text);

  // Writes the model document to the file at path, replacing it only once the
  // whole text is written: through a temporary file in the same directory
  // that is renamed over the target. Throws std::runtime_error "Failed to
  // dump: Unable to open file" when the file cannot be created (the target is
  // untouched) and "Failed to dump: Unable to write file" when a write or the
  // close fails (the temporary file is removed, the target untouched). Throws
  // "Failed to dump: b, k1 and the average document length must be finite",
  // writing nothing, when one of them is infinite or not a number. Token keys
  // are written escaped, control bytes without a short escape as \u00XX.
  void dump(const std::string& path) const;

  std::int32_t doc_count() const { return _doc_count; }
  std::int64_t doc_length_total() const { return _doc_length_total; }
  double doc_length_average() const { return _doc_length_average; }
  std::size_t distinct_token_count() const { return _doc_token_frequency.size(); }
  // The corpus frequency of a token text, or nothing for a token never seen.
  std::optional<std::int32_t> token_frequency(std::string_view token_text) const;

  // The exact state (parameters, counters, average, every token count at
  // full precision) as bytes, and a model rebuilt from them; FromState throws
  // std::invalid_argument "malformed BM25 state" for bytes SaveState did not
  // write. Defined in bm25_state.cc.
  std::string SaveState() const;
  static BM25 FromState(std::string_view state);

  // The encoder adds document frequencies and merging on top of this model.
  friend class BM25Encoder;

 private:
  // Throws "BM25 has not been initialized" when the model counts no document
  // or its average length is within 1e-9 of zero.
  void CheckInitialized() const;
  // Throws "BM25 counter overflow" when one more document of length tokens
  // would not fit the counters.
  void CheckDocumentFits(std::size_t length) const;
  // Counts one more document of length tokens in the totals.
  void CountDocument(std::size_t length);
  // The body of both train overloads: counts the document's tokens into the
  // corpus frequencies under their token texts.
  template <typename Token>
  void TrainTokens(std::span<const Token> tokens);
  // The model document that dump writes; throws the finiteness error of dump.
  JsonValue Document() const;
  // Sets object to one counter of the table (TokenFrequencyTable::kOccurrences
  // or kDocuments) under escaped token keys.
  static void FillTokenTable(JsonValue& object, const TokenFrequencyTable& table, std::uint32_t counter);
  // The token a stored key stands for: the parser keeps keys escaped, so this
  // undoes that escape; a key without a backslash is its own token.
  static std::string_view TokenOfKey(const std::string& key, std::string& scratch);
  // Writes document to path as dump does, with dump's errors.
  static void WriteDocument(const std::string& path, const JsonValue& document);

  double _b;
  double _k1;
  std::int32_t _doc_count = 0;
  std::int64_t _doc_length_total = 0;
  double _doc_length_average = 0.0;
  TokenFrequencyTable _doc_token_frequency;
};

}  // namespace lumo::typing::text
