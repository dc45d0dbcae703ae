// Shared helpers of the native benchmarks: timing, resident memory, medians,
// the machine description and a synthetic Chinese dictionary.
#pragma once

#include <malloc.h>
#include <time.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <fstream>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include "common/utf8.h"

namespace lumo::bench {

inline double Seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// CPU time of the calling thread: steadier than wall time on a shared machine.
inline double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Resident set size in bytes, after returning freed heap pages to the system
// so that memory freed earlier does not count.
inline long ResidentBytes() {
  malloc_trim(0);
  std::ifstream statm("/proc/self/statm");
  long size = 0;
  long resident = 0;
  statm >> size >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

inline std::string MachineDescription() {
  std::string model = "unknown cpu";
  std::ifstream cpuinfo("/proc/cpuinfo");
  for (std::string line; std::getline(cpuinfo, line);) {
    if (line.rfind("model name", 0) == 0) {
      model = line.substr(line.find(':') + 2);
      break;
    }
  }
  utsname name{};
  uname(&name);
  return model + ", " + std::to_string(sysconf(_SC_NPROCESSORS_ONLN)) + " cpus, " + name.sysname + " " +
         name.release;
}

using lumo::AppendUtf8;

// Writes a main dictionary of word_count distinct words to path: lengths
// mostly 2 to 4 characters, some 1 and up to 10, drawn from distinct_chars
// CJK characters with a skewed (Zipf-like) frequency; frequencies and tags
// as a real dictionary has them. Deterministic for a given seed.
inline void WriteSyntheticDictionary(const std::string& path, std::size_t word_count, std::size_t distinct_chars,
                                     std::uint64_t seed = 20240321) {
  std::mt19937_64 random(seed);
  std::vector<double> char_weights(distinct_chars);
  for (std::size_t i = 0; i < distinct_chars; ++i) char_weights[i] = 1.0 / static_cast<double>(i + 10);
  std::discrete_distribution<std::size_t> pick_char(char_weights.begin(), char_weights.end());
  std::discrete_distribution<int> pick_length({0, 4, 42, 26, 16, 4, 3, 2, 1.5, 1, 0.5});
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  static const char* const kTags[] = {"n", "v", "a", "d", "nr", "ns", "m", "vn", "nz", "i"};
  std::unordered_set<std::string> seen;
  seen.reserve(word_count * 2);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::string word;
  while (seen.size() < word_count) {
    word.clear();
    const int length = pick_length(random);
    for (int i = 0; i < length; ++i) AppendUtf8(word, 0x4E00 + static_cast<std::uint32_t>(pick_char(random)));
    if (!seen.insert(word).second) continue;
    const auto frequency = static_cast<long>(std::pow(10.0, unit(random) * unit(random) * 5.0));
    out << word << ' ' << frequency << ' ' << kTags[random() % 10] << '\n';
  }
}

// Every *.txt file of directory concatenated in name order, or "" when there
// is none.
inline std::string ReadTexts(const std::string& directory) {
  std::vector<std::filesystem::path> files;
  std::error_code error;
  for (const auto& item : std::filesystem::directory_iterator(directory, error)) {
    if (item.path().extension() == ".txt") files.push_back(item.path());
  }
  std::sort(files.begin(), files.end());
  std::string text;
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    text.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!text.empty() && text.back() != '\n') text.push_back('\n');
  }
  return text;
}

}  // namespace lumo::bench
