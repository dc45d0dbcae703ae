// Training a batch on two threads (documents counted by either thread) gives
// the encoder of training it one document at a time, and stops where that
// would stop. Run under ThreadSanitizer by the test command.
#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "bm25/batch_trainer.h"
#include "bm25/bm25_encoder.h"

namespace lumo::typing::text {
namespace {

// Documents of str tokens, with every third one of integer ids (whose texts
// the str tokens share), long enough together for many hand-overs; one
// document is longer than a chunk.
struct Corpus {
  std::vector<std::string> vocabulary;
  std::vector<std::vector<std::string_view>> texts;
  std::vector<std::vector<std::int64_t>> ids;  // parallel: non-empty for id documents
};

Corpus MakeCorpus(std::size_t documents) {
  Corpus corpus;
  for (int i = 0; i < 5000; ++i) corpus.vocabulary.push_back(std::to_string(i * 7919 % 10007));
  for (std::size_t d = 0; d < documents; ++d) {
    const std::size_t length = d == 7 ? 40000 : (d * 37) % 300;
    corpus.texts.emplace_back();
    corpus.ids.emplace_back();
    for (std::size_t i = 0; i < length; ++i) {
      const std::size_t pick = (i * i + d * 13) % (1 + (i % 2 ? 50 : corpus.vocabulary.size() - 1));
      if (d % 3 == 2) {
        corpus.ids.back().push_back(static_cast<std::int64_t>(pick) - 20);
      } else {
        corpus.texts.back().push_back(corpus.vocabulary[pick]);
      }
    }
  }
  return corpus;
}

// Trains every document of corpus, one by one or through a BatchTrainer.
void TrainOneByOne(BM25Encoder& encoder, const Corpus& corpus) {
  for (std::size_t d = 0; d < corpus.texts.size(); ++d) {
    if (d % 3 == 2) {
      encoder.Train(std::span<const std::int64_t>(corpus.ids[d]));
    } else {
      encoder.Train(std::span<const std::string_view>(corpus.texts[d]));
    }
  }
}

void TrainBatch(BM25Encoder& encoder, const Corpus& corpus) {
  BatchTrainer trainer(encoder);
  for (std::size_t d = 0; d < corpus.texts.size(); ++d) {
    if (d % 3 == 2) {
      trainer.Add(std::span<const std::int64_t>(corpus.ids[d]));
    } else {
      trainer.Add(std::span<const std::string_view>(corpus.texts[d]));
    }
    // Now and then, wait for the helper, as a document that runs Python code does.
    if (!(d % 500 == 499 ? trainer.Drain() : trainer.HandOverWhenFull())) break;
  }
  trainer.Finish();
}

TEST(BatchTrainer, GivesTheEncoderOfTrainingOneByOne) {
  const Corpus corpus = MakeCorpus(3000);
  BM25Encoder expected(0.75, 1.2, IdfKind::kDocument);
  TrainOneByOne(expected, corpus);
  BM25Encoder encoder(0.75, 1.2, IdfKind::kDocument);
  encoder.Train(std::span<const std::string_view>(corpus.texts[0]));
  TrainBatch(encoder, corpus);
  BM25Encoder again(0.75, 1.2, IdfKind::kDocument);
  again.Train(std::span<const std::string_view>(corpus.texts[0]));
  TrainOneByOne(again, corpus);
  EXPECT_TRUE(encoder.SameStatistics(again));
  EXPECT_EQ(encoder.SaveState(), again.SaveState());
  EXPECT_FALSE(encoder.SameStatistics(expected));  // the extra first document counts
}

TEST(BatchTrainer, StopsAtTheDocumentThatOverflowsWithThoseBeforeTrained) {
  // "0" may occur 1000 more times: as a str token, which most documents hold
  // a few times, or as the id 0.
  const std::string model =
      R"({"_b":0.75,"_doc_count":1,"_doc_length_average":1.0,"_doc_token_frequency":{"0":2147482647},"_k1":1.2})";
  const Corpus corpus = MakeCorpus(3000);
  BM25Encoder one_by_one = BM25Encoder::Load(model, IdfKind::kCorpus);
  std::size_t trained = 0;
  try {
    for (; trained < corpus.texts.size(); ++trained) {
      if (trained % 3 == 2) {
        one_by_one.Train(std::span<const std::int64_t>(corpus.ids[trained]));
      } else {
        one_by_one.Train(std::span<const std::string_view>(corpus.texts[trained]));
      }
    }
  } catch (const std::runtime_error&) {
  }
  ASSERT_LT(trained, corpus.texts.size());  // the corpus does overflow
  ASSERT_GT(trained, 100u);                 // after many hand-overs' worth of documents

  BM25Encoder batch = BM25Encoder::Load(model, IdfKind::kCorpus);
  try {
    TrainBatch(batch, corpus);
    FAIL() << "no overflow";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "BM25 counter overflow");
  }
  EXPECT_EQ(batch.model().doc_count(), 1 + static_cast<std::int32_t>(trained));
  EXPECT_TRUE(batch.SameStatistics(one_by_one));
}

}  // namespace
}  // namespace lumo::typing::text
