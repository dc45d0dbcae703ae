// Tokens per CPU second of BM25 training and encoding on a synthetic Zipf
// corpus, against the same model written with std::unordered_map for the
// corpus table and the per-document counts (the plain design), measured in
// the same run. Both compute bit-identical weights; the run checks that.
//
//   bm25_encoder_bench [documents] [runs]
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "bench_util.h"
#include "bm25/bm25.h"

using lumo::bench::Median;
using lumo::bench::ThreadCpuSeconds;
using lumo::typing::text::BM25;

namespace {

using Document = std::vector<std::string_view>;

// The plain design: the same formulas and order of operations as the model,
// with standard hash maps.
class PlainBM25 {
 public:
  void train(const Document& tokens) {
    std::unordered_map<std::string_view, std::int32_t> counts;
    for (std::string_view token : tokens) ++counts[token];
    for (const auto& [token, count] : counts) {
      auto found = frequency_.find(std::string(token));
      if (found == frequency_.end()) {
        frequency_.emplace(std::string(token), count);
      } else {
        found->second += count;
      }
    }
    ++doc_count_;
    length_total_ += static_cast<std::int64_t>(tokens.size());
    average_ = static_cast<double>(length_total_) / static_cast<double>(doc_count_);
  }

  std::vector<std::pair<std::string_view, double>> encode_document(const Document& tokens) const {
    std::unordered_map<std::string_view, std::int32_t> counts;
    for (std::string_view token : tokens) ++counts[token];
    const double dl = static_cast<double>(tokens.size());
    const double norm = ((dl / average_) * b_ + (1.0 - b_)) * k1_;
    std::vector<std::pair<std::string_view, double>> weights;
    weights.reserve(counts.size());
    for (const auto& [token, count] : counts) {
      const double tf = static_cast<double>(count);
      weights.emplace_back(token, 0.0 + tf / (tf + norm));
    }
    std::sort(weights.begin(), weights.end());
    return weights;
  }

  std::vector<std::pair<std::string_view, double>> encode_query(const Document& tokens) const {
    const double n = static_cast<double>(static_cast<std::int64_t>(doc_count_) + 1);
    std::unordered_map<std::string_view, double> idf;
    for (std::string_view token : tokens) {
      if (idf.count(token) != 0) continue;
      const auto found = frequency_.find(std::string(token));
      idf[token] = found != frequency_.end() ? std::log(n / (static_cast<double>(found->second) + 0.5))
                                             : std::log(n / 1.5);
    }
    std::vector<std::pair<std::string_view, double>> weights(idf.begin(), idf.end());
    std::sort(weights.begin(), weights.end());
    double sum = 0.0;
    for (const auto& entry : weights) sum += entry.second;
    for (auto& entry : weights) entry.second = entry.second / sum;
    return weights;
  }

 private:
  double b_ = 0.75;
  double k1_ = 1.2;
  std::int32_t doc_count_ = 0;
  std::int64_t length_total_ = 0;
  double average_ = 0.0;
  std::unordered_map<std::string, std::int32_t> frequency_;
};

struct Corpus {
  std::vector<std::string> vocabulary;
  std::vector<Document> documents;
  std::vector<Document> queries;  // 8 tokens each
  std::size_t document_tokens = 0;
  std::size_t query_tokens = 0;
};

// Documents of 50 to 200 tokens drawn from a Zipf vocabulary of 100,000 words
// of 2 to 10 letters.
Corpus MakeCorpus(std::size_t document_count) {
  Corpus corpus;
  std::mt19937_64 random(1);
  std::uniform_int_distribution<int> letter('a', 'z');
  std::uniform_int_distribution<int> word_length(2, 10);
  corpus.vocabulary.resize(100000);
  for (std::size_t i = 0; i < corpus.vocabulary.size(); ++i) {
    std::string& word = corpus.vocabulary[i];
    for (int j = word_length(random); j > 0; --j) word.push_back(static_cast<char>(letter(random)));
    word += std::to_string(i % 7);  // keeps the words distinct enough without a set
  }
  std::vector<double> weights(corpus.vocabulary.size());
  for (std::size_t i = 0; i < weights.size(); ++i) weights[i] = 1.0 / static_cast<double>(i + 1);
  std::discrete_distribution<std::size_t> pick(weights.begin(), weights.end());
  std::uniform_int_distribution<int> document_length(50, 200);
  for (std::size_t d = 0; d < document_count; ++d) {
    Document document(static_cast<std::size_t>(document_length(random)));
    for (std::string_view& token : document) token = corpus.vocabulary[pick(random)];
    corpus.document_tokens += document.size();
    for (std::size_t start = 0; start + 8 <= document.size(); start += 8) {
      corpus.queries.emplace_back(document.begin() + static_cast<std::ptrdiff_t>(start),
                                  document.begin() + static_cast<std::ptrdiff_t>(start + 8));
      corpus.query_tokens += 8;
    }
    corpus.documents.push_back(std::move(document));
  }
  return corpus;
}

double TimeRuns(int runs, const std::function<void()>& run) {
  std::vector<double> seconds;
  for (int i = 0; i < runs; ++i) {
    const double start = ThreadCpuSeconds();
    run();
    seconds.push_back(ThreadCpuSeconds() - start);
  }
  return Median(seconds);
}

void Report(const char* name, std::size_t tokens, double model_seconds, double plain_seconds) {
  std::printf("%-22s %12.1f %12.1f %8.2fx\n", name, static_cast<double>(tokens) / model_seconds / 1e6,
              static_cast<double>(tokens) / plain_seconds / 1e6, plain_seconds / model_seconds);
}

template <typename Weights>
bool SameWeights(const Weights& model, const std::vector<std::pair<std::string_view, double>>& plain) {
  if (model.size() != plain.size()) return false;
  for (std::size_t i = 0; i < plain.size(); ++i) {
    if (model[i].token != plain[i].first || model[i].weight != plain[i].second) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t document_count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 50000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  const Corpus corpus = MakeCorpus(document_count);
  std::printf("%s\n", lumo::bench::MachineDescription().c_str());
  std::printf("corpus: %zu documents, %zu tokens, %zu queries of 8 tokens; median of %d runs, CPU time\n\n",
              corpus.documents.size(), corpus.document_tokens, corpus.queries.size(), runs);

  BM25 model(0.75, 1.2);
  PlainBM25 plain;
  for (const Document& document : corpus.documents) {
    model.train(document);
    plain.train(document);
  }
  for (std::size_t i = 0; i < corpus.documents.size(); i += 97) {
    if (!SameWeights(model.encode_document(corpus.documents[i]), plain.encode_document(corpus.documents[i])) ||
        !SameWeights(model.encode_query(corpus.queries[i]), plain.encode_query(corpus.queries[i]))) {
      std::fprintf(stderr, "the model and the plain design disagree\n");
      return 1;
    }
  }

  std::printf("%-22s %12s %12s %9s\n", "operation", "model Mtok/s", "plain Mtok/s", "ratio");
  const double train_model = TimeRuns(runs, [&] {
    BM25 fresh(0.75, 1.2);
    for (const Document& document : corpus.documents) fresh.train(document);
  });
  const double train_plain = TimeRuns(runs, [&] {
    PlainBM25 fresh;
    for (const Document& document : corpus.documents) fresh.train(document);
  });
  Report("train", corpus.document_tokens, train_model, train_plain);

  double sink = 0.0;  // keeps the results alive
  const double document_model = TimeRuns(runs, [&] {
    for (const Document& document : corpus.documents) sink += model.encode_document(document).front().weight;
  });
  const double document_plain = TimeRuns(runs, [&] {
    for (const Document& document : corpus.documents) sink += plain.encode_document(document).front().second;
  });
  Report("encode_document", corpus.document_tokens, document_model, document_plain);

  const double query_model = TimeRuns(runs, [&] {
    for (const Document& query : corpus.queries) sink += model.encode_query(query).front().weight;
  });
  const double query_plain = TimeRuns(runs, [&] {
    for (const Document& query : corpus.queries) sink += plain.encode_query(query).front().second;
  });
  Report("encode_query (8)", corpus.query_tokens, query_model, query_plain);
  return sink == 0.12345 ? 2 : 0;
}
