// A block pool runs every block of each job exactly once, across jobs handed
// out while the caller works on other things, with or without helpers; the
// encoder's const weighing is safe on its threads. Run under
// ThreadSanitizer by the test command.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "bm25/bm25_encoder.h"
#include "common/block_pool.h"

namespace lumo {
namespace {

TEST(BlockPoolTest, EveryBlockOfEveryJobRunsOnce) {
  for (std::size_t helpers : {0u, 1u, 3u}) {
    BlockPool pool(helpers);
    pool.Finish();  // no job yet
    for (std::size_t blocks : {0u, 1u, 7u, 500u}) {
      std::vector<std::atomic<int>> runs(blocks);
      pool.Start(blocks, [&](std::size_t block) { runs[block].fetch_add(1); });
      pool.Finish();
      for (std::size_t block = 0; block < blocks; ++block) {
        EXPECT_EQ(runs[block].load(), 1) << "helpers " << helpers << ", block " << block << " of " << blocks;
      }
    }
  }
}

TEST(BlockPoolTest, WeighsDocumentsAsOneThreadWouldWhileTheCallerWorks) {
  typing::text::BM25Encoder encoder(0.75, 1.2, typing::text::IdfKind::kDocument);
  std::vector<std::string> words;
  for (int i = 0; i < 300; ++i) words.push_back(std::to_string(i * i % 97).append("w"));
  std::vector<std::vector<std::string_view>> documents(400);
  for (std::size_t d = 0; d < documents.size(); ++d) {
    for (std::size_t i = 0; i < 5 + d % 50; ++i) documents[d].push_back(words[(i * 31 + d) % words.size()]);
    encoder.Train(std::span<const std::string_view>(documents[d]));
  }
  std::vector<typing::text::StringSparseVector> expected;
  for (const auto& document : documents) expected.push_back(encoder.EncodeQuery(document));

  std::vector<typing::text::StringSparseVector> got(documents.size());
  {
    BlockPool pool(2);
    // Two jobs of half the documents each: the second is handed out while
    // the caller reads what the first made, as the encoder binding does.
    const std::size_t half = documents.size() / 2;
    const auto job = [&](std::size_t first) {
      return [&, first](std::size_t block) { got[first + block] = encoder.EncodeQuery(documents[first + block]); };
    };
    pool.Start(half, job(0));
    pool.Finish();
    pool.Start(half, job(half));
    for (std::size_t d = 0; d < half; ++d) ASSERT_EQ(got[d].size(), expected[d].size());
  }  // the pool finishes the second job as it goes
  for (std::size_t d = 0; d < documents.size(); ++d) {
    ASSERT_EQ(got[d].size(), expected[d].size());
    for (std::size_t i = 0; i < got[d].size(); ++i) {
      EXPECT_EQ(got[d][i].token, expected[d][i].token);
      EXPECT_EQ(got[d][i].weight, expected[d][i].weight);
    }
  }
}

}  // namespace
}  // namespace lumo
