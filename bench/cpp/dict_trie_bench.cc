// Load time, resident memory and lattice speed of DictTrie on a synthetic
// 350,000-word dictionary, against a tree of one hash map per node (the
// reference design) built in the same run.
//
//   dict_trie_bench [text directory] [runs]
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "bench_util.h"
#include "tokenizer/jieba/constants.h"
#include "tokenizer/jieba/dict_trie.h"
#include "common/line_reader.h"
#include "tokenizer/jieba/rune.h"

using namespace lumo::typing::text::jieba;
using lumo::bench::Median;
using lumo::bench::ResidentBytes;
using lumo::bench::Seconds;

namespace {

// The reference design: every node owns a hash map of its children.
struct HashNode {
  std::unique_ptr<std::unordered_map<Rune, std::unique_ptr<HashNode>>> children;
  const void* entry = nullptr;
};

void HashInsert(HashNode& root, const CodePointList& word, const void* entry) {
  if (word.empty()) return;
  HashNode* node = &root;
  for (Rune code_point : word) {
    if (!node->children) node->children = std::make_unique<std::unordered_map<Rune, std::unique_ptr<HashNode>>>();
    auto& child = (*node->children)[code_point];
    if (!child) child = std::make_unique<HashNode>();
    node = child.get();
  }
  node->entry = entry;
}

// Same walk and output as BuildLattice over the hash-map tree.
void HashLattice(const HashNode& root, const DecodedRune* begin, const DecodedRune* end,
                 std::vector<LatticeCell>& cells) {
  const auto n = static_cast<std::size_t>(end - begin);
  cells.clear();
  cells.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    auto found = root.children->find(begin[i].code_point);
    if (found == root.children->end()) {
      cells[i].candidates.push_back(LatticeCandidate{i, nullptr});
      continue;
    }
    const HashNode* node = found->second.get();
    cells[i].candidates.push_back(LatticeCandidate{i, static_cast<const DictEntry*>(node->entry)});
    for (std::size_t j = i + 1; j < n && j - i + 1 <= MAX_WORD_RUNES; ++j) {
      if (!node->children) break;
      auto next = node->children->find(begin[j].code_point);
      if (next == node->children->end()) break;
      node = next->second.get();
      if (node->entry != nullptr) {
        cells[i].candidates.push_back(LatticeCandidate{j, static_cast<const DictEntry*>(node->entry)});
      }
    }
  }
}

std::vector<RuneList> DecodeLines(const std::string& text) {
  std::vector<RuneList> lines;
  ForEachLine(text, [&](std::string_view line) {
    RuneList runes;
    if (DecodeRunes(line, runes) && !runes.empty()) lines.push_back(std::move(runes));
  });
  return lines;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string text_dir = argc > 1 ? argv[1] : "../shared/data-sources/bench-text";
  const int runs = argc > 2 ? std::stoi(argv[2]) : 5;
  constexpr std::size_t kWords = 350000;
  const std::string dict_path = "/tmp/lumo_dict_trie_bench_" + std::to_string(getpid()) + ".txt";
  lumo::bench::WriteSyntheticDictionary(dict_path, kWords, 6000);
  std::printf("machine: %s\n", lumo::bench::MachineDescription().c_str());
  std::printf("dictionary: %zu synthetic words, runs: %d\n", kWords, runs);

  std::vector<double> load_seconds;
  std::vector<double> bytes_per_word;
  for (int run = 0; run < runs; ++run) {
    const long before = ResidentBytes();
    const double start = Seconds();
    auto trie = std::make_unique<DictTrie>(dict_path, "");
    load_seconds.push_back(Seconds() - start);
    bytes_per_word.push_back(static_cast<double>(ResidentBytes() - before) / kWords);
  }
  std::printf("DictTrie load: median %.3f s, resident %.1f bytes/word\n", Median(load_seconds),
              Median(bytes_per_word));

  // The reference tree over the same words (without the entries themselves).
  std::vector<CodePointList> words;
  {
    std::ifstream in(dict_path, std::ios::binary);
    const std::string content = ReadRemaining(in);
    ForEachLine(content, [&](std::string_view line) {
      CodePointList word;
      DecodeCodePoints(line.substr(0, line.find(' ')), word);
      words.push_back(word);
    });
  }
  std::vector<double> hash_seconds;
  std::vector<double> hash_bytes;
  auto hash_root = std::make_unique<HashNode>();
  for (int run = 0; run < runs; ++run) {
    hash_root = std::make_unique<HashNode>();
    const long before = ResidentBytes();
    const double start = Seconds();
    for (const CodePointList& word : words) HashInsert(*hash_root, word, &word);
    hash_seconds.push_back(Seconds() - start);
    hash_bytes.push_back(static_cast<double>(ResidentBytes() - before) / kWords);
  }
  std::printf("hash-map tree insert alone: median %.3f s, resident %.1f bytes/word (tree only, no entries)\n",
              Median(hash_seconds), Median(hash_bytes));

  std::string text = lumo::bench::ReadTexts(text_dir);
  if (text.empty()) {
    std::printf("no texts in %s: using dictionary words as text\n", text_dir.c_str());
    std::ifstream in(dict_path, std::ios::binary);
    text = ReadRemaining(in);
  }
  const std::vector<RuneList> lines = DecodeLines(text);
  std::size_t rune_count = 0;
  for (const RuneList& line : lines) rune_count += line.size();
  std::printf("lattice text: %zu lines, %zu runes\n", lines.size(), rune_count);

  DictTrie trie(dict_path, "");
  std::vector<LatticeCell> cells;
  std::vector<double> trie_ns;
  std::vector<double> hash_ns;
  std::size_t trie_candidates = 0;
  std::size_t hash_candidates = 0;
  std::vector<double> trie_cpu_ns;
  for (int run = 0; run < runs; ++run) {
    double start = Seconds();
    double cpu_start = lumo::bench::ThreadCpuSeconds();
    trie_candidates = 0;
    for (const RuneList& line : lines) {
      cells.clear();
      trie.BuildLattice(line.begin(), line.end(), cells, MAX_WORD_RUNES);
      for (const LatticeCell& cell : cells) trie_candidates += cell.candidates.size();
    }
    trie_ns.push_back((Seconds() - start) * 1e9 / static_cast<double>(rune_count));
    trie_cpu_ns.push_back((lumo::bench::ThreadCpuSeconds() - cpu_start) * 1e9 / static_cast<double>(rune_count));
    start = Seconds();
    hash_candidates = 0;
    for (const RuneList& line : lines) {
      HashLattice(*hash_root, line.begin(), line.end(), cells);
      for (const LatticeCell& cell : cells) hash_candidates += cell.candidates.size();
    }
    hash_ns.push_back((Seconds() - start) * 1e9 / static_cast<double>(rune_count));
  }
  std::printf("BuildLattice: median %.1f ns/rune wall, %.1f ns/rune cpu (%zu candidates); hash-map walk: median "
              "%.1f ns/rune (%zu); ratio hash/frozen %.2f\n",
              Median(trie_ns), Median(trie_cpu_ns), trie_candidates, Median(hash_ns), hash_candidates, Median(hash_ns) / Median(trie_ns));
  std::remove(dict_path.c_str());
  return trie_candidates == hash_candidates ? 0 : 1;
}
