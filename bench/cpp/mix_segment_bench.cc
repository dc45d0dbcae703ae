// Throughput of the mixed segmenter, in MB of UTF-8 input per second on one
// core, over long realistic Chinese text (read at run time, never shipped).
//
//   mix_segment_bench [--text-dir DIR] [--data-dir DIR] [--runs N] [--only-mix] [--digest]
//                     [--default-only]
//
// --only-mix measures MixSegment alone on each data set (for profiling).
// --default-only skips the synthetic data set.
// --digest prints, instead of rates, a hash of the words of every line as the
// max-probability and the mixed segmenters give them, to compare two builds.
//
// Two data sets: the default data of the package (main dictionary, user
// dictionary and HMM model in --data-dir, skipped when absent), and a
// synthetic one: a 350,000-word dictionary of the most frequent 2- to 4-rune
// n-grams of the text itself, and an HMM model whose emission tables hold
// every rune of the text and of the CJK block. The baseline, measured in the
// same run, is the bare UTF-8 decoding of the same lines. Rates are MB per
// second of the benchmark thread's own CPU time (one core), medians of --runs.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "bench_util.h"
#include "tokenizer/jieba/dict_trie.h"
#include "tokenizer/jieba/hmm_model.h"
#include "tokenizer/jieba/hmm_segment.h"
#include "tokenizer/jieba/mix_segment.h"
#include "tokenizer/jieba/mp_segment.h"
#include "tokenizer/jieba/rune.h"

namespace fs = std::filesystem;
using namespace lumo::typing::text::jieba;
using namespace lumo::bench;

namespace {

constexpr std::size_t kSyntheticWords = 350000;

struct Options {
  std::string text_dir = "../shared/data-sources/bench-text";
  std::string data_dir = "python/pylumotext_data/data";
  int runs = 5;
  bool only_mix = false;
  bool digest = false;
  bool default_only = false;
};

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string flag = argv[i];
    const bool has_value = i + 1 < argc;
    if (flag == "--only-mix") options.only_mix = true;
    else if (flag == "--digest") options.digest = true;
    else if (flag == "--default-only") options.default_only = true;
    else if (flag == "--text-dir" && has_value) options.text_dir = argv[++i];
    else if (flag == "--data-dir" && has_value) options.data_dir = argv[++i];
    else if (flag == "--runs" && has_value) options.runs = std::max(1, std::atoi(argv[++i]));
    else std::cerr << "ignored argument " << flag << "\n";
  }
  return options;
}

// The non-empty lines of every .txt file in dir, in name order.
std::vector<std::string> ReadLines(const std::string& dir, std::size_t& bytes) {
  std::istringstream in(ReadTexts(dir));
  std::vector<std::string> lines;
  bytes = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) continue;
    bytes += line.size();
    lines.push_back(std::move(line));
  }
  return lines;
}

bool IsHan(Rune c) { return c >= 0x4E00 && c <= 0x9FFF; }

std::string Utf8(Rune c) {
  std::string out;
  AppendUtf8(out, c);
  return out;
}

// A main dictionary of the kSyntheticWords most frequent 2- to 4-rune Han
// n-grams of the text, plus every Han rune of the text as a one-rune word.
std::string SyntheticDictionary(const std::vector<std::string>& lines) {
  std::unordered_map<std::string, std::uint32_t> counts;
  std::unordered_map<Rune, std::uint32_t> single;
  RuneList runes;
  for (const std::string& line : lines) {
    if (!DecodeRunes(line, runes)) continue;
    for (std::size_t i = 0; i < runes.size(); ++i) {
      if (!IsHan(runes[i].code_point)) continue;
      ++single[runes[i].code_point];
      for (std::size_t length = 2; length <= 4 && i + length <= runes.size(); ++length) {
        if (!IsHan(runes[i + length - 1].code_point)) break;
        const DecodedRune& last = runes[i + length - 1];
        ++counts[line.substr(runes[i].byte_offset, last.byte_offset + last.byte_length - runes[i].byte_offset)];
      }
    }
  }
  std::vector<std::pair<std::uint32_t, const std::string*>> ranked;
  ranked.reserve(counts.size());
  for (const auto& [word, count] : counts) ranked.emplace_back(count, &word);
  const std::size_t kept = std::min(kSyntheticWords, ranked.size());
  std::partial_sort(ranked.begin(), ranked.begin() + static_cast<std::ptrdiff_t>(kept), ranked.end(),
                    [](const auto& a, const auto& b) { return a.first != b.first ? a.first > b.first : *a.second < *b.second; });
  std::string text;
  for (std::size_t i = 0; i < kept; ++i) {
    text += *ranked[i].second + " " + std::to_string(ranked[i].first) + " n\n";
  }
  for (const auto& [code_point, count] : single) text += Utf8(code_point) + " " + std::to_string(count * 4) + " x\n";
  std::cerr << "synthetic dictionary: " << kept << " n-grams + " << single.size() << " one-rune words\n";
  return text;
}

// An HMM model with realistic start and transition values and an emission
// value in every state for every rune of the CJK block and of the text.
std::string SyntheticModel(const std::vector<std::string>& lines) {
  std::unordered_set<Rune> known;
  for (Rune c = 0x4E00; c <= 0x9FFF; ++c) known.insert(c);
  RuneList runes;
  for (const std::string& line : lines) {
    if (!DecodeRunes(line, runes)) continue;
    for (const DecodedRune& rune : runes) {
      if (rune.code_point >= 0x80 && rune.code_point != ',' && rune.code_point != ':') known.insert(rune.code_point);
    }
  }
  std::vector<Rune> sorted(known.begin(), known.end());
  std::sort(sorted.begin(), sorted.end());
  std::mt19937 random(20240321);
  std::uniform_real_distribution<double> emission(-14.0, -4.0);
  std::string text =
      "-0.26 -3.14e+100 -3.14e+100 -1.46\n"
      "-3.14e+100 -0.51 -0.92 -3.14e+100\n"
      "-0.59 -3.14e+100 -3.14e+100 -0.81\n"
      "-3.14e+100 -0.33 -1.26 -3.14e+100\n"
      "-0.72 -3.14e+100 -3.14e+100 -0.67\n";
  char number[32];
  for (int state = 0; state < 4; ++state) {
    bool first = true;
    for (Rune c : sorted) {
      std::snprintf(number, sizeof(number), "%.6f", emission(random));
      if (!first) text += ",";
      first = false;
      text += Utf8(c) + ":" + number;
    }
    text += "\n";
  }
  std::cerr << "synthetic model: " << sorted.size() << " runes per state\n";
  return text;
}

// Median MB/s of runs passes of pass over all lines; checksum keeps the work.
double MeasureMBps(const std::vector<std::string>& lines, std::size_t bytes, int runs,
                   const std::function<std::size_t(const std::string&)>& pass, std::size_t& checksum) {
  std::vector<double> rates;
  for (int run = 0; run < runs; ++run) {
    std::size_t sum = 0;
    const double start = ThreadCpuSeconds();
    for (const std::string& line : lines) sum += pass(line);
    const double seconds = ThreadCpuSeconds() - start;
    rates.push_back(static_cast<double>(bytes) / 1e6 / seconds);
    checksum = sum;
  }
  return Median(rates);
}

void PrintMachine() { std::cout << "machine: " << MachineDescription() << "; one thread\n"; }

// FNV-1a over the words of every line, each word and line closed by a byte
// that no UTF-8 text holds.
template <typename Segmenter>
std::uint64_t WordDigest(const Segmenter& segmenter, const std::vector<std::string>& lines) {
  std::uint64_t hash = 0xCBF29CE484222325ull;
  const auto add = [&hash](unsigned char byte) { hash = (hash ^ byte) * 0x100000001B3ull; };
  std::vector<std::string> words;
  for (const std::string& line : lines) {
    segmenter.SplitSentence(line, words);
    for (const std::string& word : words) {
      for (char c : word) add(static_cast<unsigned char>(c));
      add(0xFF);
    }
    add(0xFE);
  }
  return hash;
}

void RunSuite(const std::string& label, const DictTrie& trie, const HMMModel& model,
              const std::vector<std::string>& lines, std::size_t bytes, int runs, const Options& options) {
  if (options.digest) {
    const MPSegment mp(trie);
    const MixSegment mix(trie, model);
    std::printf("[%s] digest MPSegment %016llx MixSegment %016llx\n", label.c_str(),
                static_cast<unsigned long long>(WordDigest(mp, lines)),
                static_cast<unsigned long long>(WordDigest(mix, lines)));
    return;
  }
  if (options.only_mix) {
    const MixSegment mix(trie, model);
    std::vector<std::string> words;
    std::size_t checksum = 0;
    const double rate = MeasureMBps(lines, bytes, runs, [&](const std::string& line) {
      mix.SplitSentence(line, words);
      return words.size();
    }, checksum);
    std::printf("[%s] MixSegment, strings: %.2f MB/s (%zu words)\n", label.c_str(), rate, checksum);
    return;
  }
  const MPSegment mp(trie);
  const HMMSegment hmm(model);
  const MixSegment mix(trie, model);
  std::vector<std::string> words;
  std::vector<WordRecord> records;
  RuneList runes;
  std::size_t checksum = 0;

  const double decode = MeasureMBps(lines, bytes, runs, [&](const std::string& line) {
    DecodeRunes(line, runes);
    return runes.size();
  }, checksum);
  const double mp_rate = MeasureMBps(lines, bytes, runs, [&](const std::string& line) {
    mp.SplitSentence(line, words);
    return words.size();
  }, checksum);
  const double hmm_rate = MeasureMBps(lines, bytes, runs, [&](const std::string& line) {
    hmm.SplitSentence(line, words);
    return words.size();
  }, checksum);
  const double mix_records = MeasureMBps(lines, bytes, runs, [&](const std::string& line) {
    mix.SplitSentence(line, records);
    return records.size();
  }, checksum);
  const double mix_words = MeasureMBps(lines, bytes, runs, [&](const std::string& line) {
    mix.SplitSentence(line, words);
    return words.size();
  }, checksum);
  const std::size_t mix_word_count = checksum;

  std::printf("\n[%s] %zu lines, %.2f MB, MixSegment gives %zu words; median of %d runs\n", label.c_str(),
              lines.size(), static_cast<double>(bytes) / 1e6, mix_word_count, runs);
  std::printf("  %-28s %8.2f MB/s  (baseline)\n", "DecodeRunes", decode);
  const auto row = [&](const char* name, double rate) {
    std::printf("  %-28s %8.2f MB/s  %6.3f x baseline\n", name, rate, rate / decode);
  };
  row("MPSegment, strings", mp_rate);
  row("HMMSegment, strings", hmm_rate);
  row("MixSegment, records", mix_records);
  row("MixSegment, strings", mix_words);
  std::printf("  MixSegment strings vs target 60 MB/s: %.2f x\n", mix_words / 60.0);
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = ParseOptions(argc, argv);
  std::size_t bytes = 0;
  const std::vector<std::string> lines = ReadLines(options.text_dir, bytes);
  if (lines.empty()) {
    std::cerr << "no text in " << options.text_dir << "\n";
    return 1;
  }
  PrintMachine();

  const fs::path data(options.data_dir);
  if (fs::exists(data / "main_dict.txt") && fs::exists(data / "hmm_model.txt")) {
    const std::string user = fs::exists(data / "user_dict.txt") ? (data / "user_dict.txt").string() : "";
    const DictTrie trie((data / "main_dict.txt").string(), user);
    const HMMModel model((data / "hmm_model.txt").string());
    RunSuite("default data " + options.data_dir, trie, model, lines, bytes, options.runs, options);
  } else {
    std::cout << "\n[default data] not found in " << options.data_dir << ", skipped\n";
  }

  if (options.default_only) return 0;
  const fs::path scratch = fs::temp_directory_path() / ("mix_segment_bench_" + std::to_string(getpid()));
  fs::create_directories(scratch);
  {
    std::ofstream(scratch / "dict.txt", std::ios::binary) << SyntheticDictionary(lines);
    std::ofstream(scratch / "model.txt", std::ios::binary) << SyntheticModel(lines);
  }
  {
    const DictTrie trie((scratch / "dict.txt").string(), "");
    const HMMModel model((scratch / "model.txt").string());
    RunSuite("synthetic 350k-word dictionary, full HMM model", trie, model, lines, bytes, options.runs, options);
  }
  fs::remove_all(scratch);
  return 0;
}
