#include "bm25/batch_trainer.h"

#include <utility>

#include "bm25/kept_room.h"
#include "bm25/token_hash.h"
#include "bm25/token_text.h"

namespace lumo::typing::text {

namespace {

// Input tokens per chunk: enough work per hand-over that waking the other
// thread costs little, few enough that the first and last chunks, trained on
// one thread alone, are short.
constexpr std::size_t kChunkTokens = std::size_t{1} << 14;

}  // namespace

void BatchTrainer::Chunk::Clear() {
  bytes.clear();
  tokens.clear();
  documents.clear();
  input_tokens = 0;
}

BatchTrainer::~BatchTrainer() {
  try {
    Finish();
  } catch (...) {  // the caller did not ask for the outcome
  }
}

void BatchTrainer::Add(std::span<const std::string_view> tokens) {
  Chunk& chunk = chunks_[filling_];
  if (++documents_ % kHelperCountsEvery == 0) {
    for (const std::string_view text : tokens) {
      chunk.tokens.push_back({chunk.bytes.size(), text.size(), 0, 1});
      chunk.bytes.append(text);
    }
    Queue(tokens.size(), false);
    return;
  }
  const TokenCounter<std::string_view> counter(tokens, &counter_room_);
  for (const auto& entry : counter.entries()) {
    const std::string_view text = counter.token(entry);
    chunk.tokens.push_back({chunk.bytes.size(), text.size(), entry.hash, entry.count});
    chunk.bytes.append(text);
  }
  ReleaseIfLarge(counter_room_.slots);
  ReleaseIfLarge(counter_room_.entries);
  Queue(tokens.size(), true);
}

void BatchTrainer::Add(std::span<const std::int64_t> tokens) {
  const TokenCounter<std::int64_t> counter(tokens);
  Chunk& chunk = chunks_[filling_];
  TokenTextBuffer buffer;
  // Integer ids are counted under their decimal text, as Train does.
  for (const auto& entry : counter.entries()) {
    const std::string_view text = IntegerTokenText(counter.token(entry), buffer);
    chunk.tokens.push_back({chunk.bytes.size(), text.size(), HashTokenText(text), entry.count});
    chunk.bytes.append(text);
  }
  Queue(tokens.size(), true);
}

void BatchTrainer::Queue(std::size_t length, bool counted) {
  Chunk& chunk = chunks_[filling_];
  chunk.documents.push_back({chunk.tokens.size(), length, counted});
  chunk.input_tokens += length;
}

bool BatchTrainer::HandOverWhenFull() {
  if (chunks_[filling_].input_tokens >= kChunkTokens) HandOver();
  return !failed_;
}

bool BatchTrainer::Drain() {
  HandOver();
  pool_.Finish();
  return !failed_;
}

void BatchTrainer::HandOver() {
  Chunk& chunk = chunks_[filling_];
  if (chunk.documents.empty()) return;
  pool_.Finish();  // the helper is done with the other chunk, which is filled next
  if (!failed_) {
    pool_.Start(1, [this, &chunk](std::size_t) {
      try {
        Train(chunk);
      } catch (...) {
        error_ = std::current_exception();
        failed_ = true;
      }
    });
  }
  filling_ ^= 1;
  chunks_[filling_].Clear();
}

void BatchTrainer::Finish() {
  HandOver();
  pool_.Finish();
  if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
}

// Stops at the first document that fails, which the encoder leaves untrained.
void BatchTrainer::Train(Chunk& chunk) {
  const std::string_view bytes = chunk.bytes;
  std::size_t begin = 0;
  for (const Chunk::Document& document : chunk.documents) {
    if (document.counted) {
      distinct_.clear();
      for (std::size_t i = begin; i < document.end; ++i) {
        const Chunk::Token& token = chunk.tokens[i];
        distinct_.push_back({bytes.substr(token.offset, token.size), token.hash, token.count});
      }
      encoder_.AddDocument(distinct_, document.length);
    } else {
      uncounted_.clear();
      for (std::size_t i = begin; i < document.end; ++i) {
        uncounted_.push_back(bytes.substr(chunk.tokens[i].offset, chunk.tokens[i].size));
      }
      encoder_.Train(std::span<const std::string_view>(uncounted_));
    }
    begin = document.end;
  }
  ReleaseIfLarge(distinct_);
  ReleaseIfLarge(uncounted_);
  ReleaseIfLarge(encoder_.train_room_.entries);
}

}  // namespace lumo::typing::text
