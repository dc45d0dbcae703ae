// The encoder of the companion package: the BM25 model plus the number of
// documents that hold each token, with two IDF flavours, merging of models
// trained apart, and vectors keyed by 32-bit indices.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "bm25/bm25.h"
#include "bm25/index_counter.h"
#include "bm25/indexed_weight.h"
#include "bm25/sparse_vector.h"
#include "bm25/token_counter.h"
#include "bm25/token_frequency_table.h"

namespace lumo::typing::text {

enum class IdfKind {
  kCorpus,    // the model's ln((N + 1) / (f + 0.5)), f counting every occurrence
  kDocument,  // ln(1 + (N - df + 0.5) / (df + 0.5)), df counting documents
};

struct IndexScratch;

class BM25Encoder {
 public:
  BM25Encoder(double b, double k1, IdfKind idf) : model_(b, k1), idf_(idf) {}
  BM25Encoder(const BM25Encoder&) = default;
  BM25Encoder& operator=(const BM25Encoder&) = default;
  BM25Encoder(BM25Encoder&&) noexcept = default;
  BM25Encoder& operator=(BM25Encoder&&) noexcept = default;

  const BM25& model() const { return model_; }
  IdfKind idf() const { return idf_; }
  // False after loading a model document without document frequencies.
  bool document_frequency_known() const { return document_frequency_known_; }

  // Adds one document to the model's statistics and 1 to the document
  // frequency of each distinct token. An empty document counts as a document
  // of length 0. Throws std::runtime_error "BM25 counter overflow" with the
  // encoder unchanged when a counter would pass its 32-bit (total: 63-bit)
  // range. The views need to live only for the call.
  void Train(std::span<const std::string_view> tokens);
  void Train(std::span<const std::int64_t> tokens);

  // The model's document vector (the same for both IDF kinds, with its
  // entries in the order of their first occurrence), and the query vector
  // in ascending key order: the model's own for kCorpus, for kDocument the
  // document IDFs divided by their sum in that order. Empty input gives an
  // empty vector; an untrained encoder throws "BM25 has not been
  // initialized".
  StringSparseVector EncodeDocument(std::span<const std::string_view> tokens) const;
  IntegerSparseVector EncodeDocument(std::span<const std::int64_t> tokens) const;
  StringSparseVector EncodeQuery(std::span<const std::string_view> tokens) const;
  IntegerSparseVector EncodeQuery(std::span<const std::int64_t> tokens) const;

  // An encoder with this one's parameters, document count and lengths but
  // no tokens: its document vectors are this encoder's, so it can weigh
  // documents on other threads while this one goes on training.
  BM25Encoder DocumentWeights() const;

  // ToIndexed(EncodeDocument(tokens), scratch), bit for bit, without the
  // vector keyed by token in between. The result lives in scratch until its
  // next use.
  std::span<const IndexedWeight> EncodeDocumentIndexed(std::span<const std::string_view> tokens,
                                                       IndexScratch& scratch) const;
  std::span<const IndexedWeight> EncodeDocumentIndexed(std::span<const std::int64_t> tokens,
                                                       IndexScratch& scratch) const;

  // The IDF of a token text under this encoder's kind, and its counts (0 for
  // a token never trained).
  double Idf(std::string_view token_text) const;
  std::int32_t TokenCount(std::string_view token_text) const;
  std::int32_t DocumentFrequency(std::string_view token_text) const;

  // Adds other's statistics to these: documents, total length, occurrence
  // and document counts; the average becomes total / count, as training
  // computes it. Throws std::invalid_argument when b or k1 differ, and
  // std::overflow_error when a sum would not fit; the encoder is then
  // unchanged. other may be this encoder.
  void Merge(const BM25Encoder& other);

  // Whether both hold the same parameters, counters and counts (the IDF
  // kind aside); doubles compare bit for bit.
  bool SameStatistics(const BM25Encoder& other) const;

  // Exact state as bytes (the model's state, then the document frequencies).
  std::string SaveState() const;
  // Throws std::invalid_argument "malformed BM25 state" for other bytes.
  static BM25Encoder FromState(std::string_view state, IdfKind idf);

  // Writes the model document with one more member, "_document_frequency",
  // which the model's own load ignores. Errors as BM25::dump.
  void Save(const std::string& path) const;
  // Reads a model document as BM25::load does, plus "_document_frequency"
  // when present (else document_frequency_known() is false). Throws as
  // BM25::load, and std::runtime_error "load document_frequency failed"
  // when that member is not an object of integers.
  static BM25Encoder Load(std::string_view json_text, IdfKind idf);

 private:
  // Counts documents on the calling thread and adds them on a helper.
  friend class BatchTrainer;
  struct DistinctToken {
    std::string_view text;
    std::uint64_t hash;
    std::int64_t count;
  };
  void AddDocument(std::span<const DistinctToken> tokens, std::size_t length);
  double DocumentIdf(std::string_view token_text, std::uint64_t hash) const;
  double DocumentNorm(std::size_t length) const;
  template <typename Token, typename Weight>
  std::vector<Weight> WeighDocument(std::span<const Token> tokens) const;
  template <typename Token>
  std::span<const IndexedWeight> WeighDocumentIndexed(std::span<const Token> tokens,
                                                      typename TokenCounter<Token>::Room& counter_room,
                                                      IndexScratch& scratch) const;
  template <typename Token, typename Weight>
  std::vector<Weight> WeighQueryByDocuments(std::span<const Token> tokens) const;

  // The model's table holds the document frequencies next to the counts.
  BM25 model_;
  IdfKind idf_;
  bool document_frequency_known_ = true;
  // Working room of training, reused from document to document (a copy of
  // the encoder starts with its own, empty).
  struct TrainRoom {
    TrainRoom() = default;
    TrainRoom(const TrainRoom&) {}
    TrainRoom& operator=(const TrainRoom&) { return *this; }
    TrainRoom(TrainRoom&&) noexcept = default;
    TrainRoom& operator=(TrainRoom&&) noexcept = default;
    TokenCounter<std::string_view>::Room counter;
    std::vector<DistinctToken> distinct;
    std::vector<TokenFrequencyTable::Entry*> entries;
  };
  TrainRoom train_room_;
};

// Working room of the vectors keyed by index, reused from vector to vector of
// a batch.
struct IndexScratch {
  IndexCounter index_counter;
  TokenCounter<std::string_view>::Room text_counter;
  TokenCounter<std::int64_t>::Room id_counter;
  std::vector<IndexedWeight> entries;
  IndexSortRoom sort_room;
};

// Vectors keyed by index: str tokens by MurmurHash3X86_32 of their bytes,
// integer tokens by themselves. Sorted by index; tokens that share an index
// are summed. An integer token outside [0, 2^32) throws std::invalid_argument
// naming it. The result lives in scratch until its next use.
std::span<const IndexedWeight> ToIndexed(const StringSparseVector& vector, IndexScratch& scratch);
std::span<const IndexedWeight> ToIndexed(const IntegerSparseVector& vector, IndexScratch& scratch);

}  // namespace lumo::typing::text
