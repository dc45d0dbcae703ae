// Training on a batch of documents with two threads: the calling thread reads
// the caller's token lists and counts the distinct tokens of most documents,
// while a helper thread adds the counts of the documents before to the
// encoder's table, in document order, with the same result as Train one
// document at a time. So that neither thread waits long for the other, the
// helper also counts one document in kHelperCountsEvery, which the calling
// thread only copies.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "bm25/bm25_encoder.h"
#include "bm25/token_counter.h"
#include "common/block_pool.h"

namespace lumo::typing::text {

class BatchTrainer {
 public:
  // Starts the helper thread (without one, the calling thread trains each
  // chunk as it hands it over). Nothing else may use the encoder until
  // Finish returns.
  explicit BatchTrainer(BM25Encoder& encoder) : encoder_(encoder) {}
  // Trains the documents queued, as Finish does, but swallows their error:
  // call Finish to see it.
  ~BatchTrainer();
  BatchTrainer(const BatchTrainer&) = delete;
  BatchTrainer& operator=(const BatchTrainer&) = delete;

  // Counts one document (the views need to live only for the call) and
  // queues it. Never waits for the helper.
  void Add(std::span<const std::string_view> tokens);
  void Add(std::span<const std::int64_t> tokens);

  // Passes the queued documents to the helper once they make a chunk,
  // waiting for it to finish the chunk before. Returns false once training
  // has failed: documents added later are not trained, and Finish throws
  // the error.
  bool HandOverWhenFull();
  // Passes the queued documents to the helper and waits until it has trained
  // them, so that the caller may run code that uses the encoder until its
  // next hand-over. Returns false once training has failed.
  bool Drain();

  // Trains every queued document. When a document could not be trained
  // (Train's errors), throws that error, with the documents before it
  // trained and none after, as training one by one would leave it.
  void Finish();

 private:
  // With every document counted by the calling thread, it was busy for
  // about 58% of the samples of a two-thread fit, the helper for 42%; one in
  // three counted by the helper gave about 1.14 times the tokens per second
  // (bench/bench_bm25_encoder.py's corpus; one in two or four gave less).
  static constexpr std::size_t kHelperCountsEvery = 3;

  // Documents with the texts of their tokens copied, so the helper reads
  // nothing of the caller's: counted (their distinct tokens with counts) or
  // left for the helper to count (every token in order, each with count 1).
  struct Chunk {
    struct Token {
      std::size_t offset;  // of the text in bytes
      std::size_t size;
      std::uint64_t hash;  // of a counted token
      std::int64_t count;
    };
    struct Document {
      std::size_t end;  // of its tokens in tokens
      std::size_t length;
      bool counted;
    };
    std::string bytes;
    std::vector<Token> tokens;
    std::vector<Document> documents;
    std::size_t input_tokens = 0;
    void Clear();
  };

  // Ends the document whose tokens are the last of the filling chunk.
  void Queue(std::size_t length, bool counted);
  // Passes the filling chunk to the helper once it is done with the other.
  void HandOver();
  void Train(Chunk& chunk);

  BM25Encoder& encoder_;
  TokenCounter<std::string_view>::Room counter_room_;
  std::size_t documents_ = 0;  // added
  // The helper's.
  std::vector<BM25Encoder::DistinctToken> distinct_;
  std::vector<std::string_view> uncounted_;
  Chunk chunks_[2];
  int filling_ = 0;
  std::atomic<bool> failed_ = false;
  std::exception_ptr error_;  // read once the pool has finished its job
  BlockPool pool_{1};         // after the chunks: stops before they go
};

}  // namespace lumo::typing::text
