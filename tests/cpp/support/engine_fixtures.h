// Data files held in memory, and a small fixed dictionary, HMM model and
// keyword resources for the segmenters: shared by the concurrency test and
// the fuzz targets.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/write_all.h"

namespace lumo::testing {

// A file that lives in memory, reachable by a path as long as the object
// lives, so that the loaders read it like any data file.
class MemoryFile {
 public:
  explicit MemoryFile(std::string_view content) : fd_(::memfd_create("fuzz-data", MFD_CLOEXEC)) {
    if (fd_ < 0 || !common::WriteAll(fd_, content)) {
      std::perror("memory file");
      std::abort();
    }
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;
  ~MemoryFile() { ::close(fd_); }

  const std::string& path() const { return path_; }

 private:
  int fd_;
  std::string path_;
};

// Main dictionary: overlapping words so that the lattice has choices, ASCII
// and digits, a word above the Basic Multilingual Plane.
inline constexpr std::string_view kDictionary =
    "\xE4\xB8\xAD\xE5\x9B\xBD 100 ns\n"                          // 中国
    "\xE4\xB8\xAD\xE5\x9B\xBD\xE4\xBA\xBA 50 n\n"                // 中国人
    "\xE5\x9B\xBD\xE4\xBA\xBA 10 n\n"                            // 国人
    "\xE4\xBA\xBA\xE6\xB0\x91 80 n\n"                            // 人民
    "\xE4\xB8\xAD 20 f\n"                                        // 中
    "\xE5\x9B\xBD 20 n\n"                                        // 国
    "\xE4\xBA\xBA 30 n\n"                                        // 人
    "\xE6\xB0\x91 5 n\n"                                         // 民
    "\xE5\x8C\x97\xE4\xBA\xAC 60 ns\n"                           // 北京
    "\xE5\xA4\xA7\xE5\xAD\xA6 40 n\n"                            // 大学
    "\xE5\x8C\x97\xE4\xBA\xAC\xE5\xA4\xA7\xE5\xAD\xA6 30 nt\n"   // 北京大学
    "\xE5\xAD\xA6\xE7\x94\x9F 30 n\n"                            // 学生
    "\xE5\xA4\xA7\xE5\xAD\xA6\xE7\x94\x9F 20 n\n"                // 大学生
    "ab 3 eng\n"
    "\xF0\xA0\x80\x80\xE5\xAD\x97 2 x\n";                        // U+20000 字

inline constexpr std::string_view kUserDictionary =
    "\xE7\x94\x9F\n"                       // 生 (a user one-rune word)
    "\xE5\xAD\xA6\xE7\x94\x9F\xE4\xBB\xAC nr\n"  // 学生们
    "\xE4\xBA\xAC\xE5\xA4\xA7 9 j\n";      // 京大

// States B, E, M, S; a handful of emissions for each.
inline constexpr std::string_view kHmmModel =
    "# start B E M S\n"
    "-0.26 -3.14e+100 -3.14e+100 -1.46\n"
    "# transitions\n"
    "-3.14e+100 -0.51 -0.92 -3.14e+100\n"
    "-0.59 -3.14e+100 -3.14e+100 -0.81\n"
    "-3.14e+100 -0.33 -1.26 -3.14e+100\n"
    "-0.72 -3.14e+100 -3.14e+100 -0.67\n"
    "# emissions B, E, M, S\n"
    "\xE4\xB8\xAD:-2.1,\xE5\x8C\x97:-3.0,\xE5\xA4\xA7:-2.5,\xE5\xB0\x8F:-2.9\n"   // 中北大小
    "\xE5\x9B\xBD:-2.2,\xE4\xBA\xAC:-3.1,\xE5\xAD\xA6:-2.4,\xE4\xBA\xBA:-2.0\n"   // 国京学人
    "\xE5\x8D\x8E:-4.0,\xE6\xB0\x91:-3.5\n"                                       // 华民
    "\xE7\x9A\x84:-1.5,\xE4\xBA\x86:-2.0,\xE6\x98\xAF:-2.2,\xE6\x88\x91:-2.6\n";  // 的了是我

inline constexpr std::string_view kIdf =
    "\xE4\xB8\xAD\xE5\x9B\xBD 5.5\n\xE4\xBA\xBA\xE6\xB0\x91 4.25\n\xE5\xA4\xA7\xE5\xAD\xA6 7\n";

inline constexpr std::string_view kStopWords = "\xE7\x9A\x84\n\xE4\xBA\x86\n";  // 的 了

}  // namespace lumo::testing
