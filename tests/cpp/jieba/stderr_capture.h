// Test helpers: capturing what the diagnostic log writes to file descriptor 2,
// and a temporary directory for small data files.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace lumo::testing {

// Redirects file descriptor 2 into a temporary file from construction until
// Finish (or destruction), then restores it. Not for concurrent use.
class StderrCapture {
 public:
  StderrCapture() {
    char name[] = "/tmp/lumo_stderr_XXXXXX";
    file_fd_ = ::mkstemp(name);
    if (file_fd_ < 0) throw std::runtime_error("mkstemp failed");
    ::unlink(name);
    std::fflush(stderr);
    saved_fd_ = ::dup(STDERR_FILENO);
    ::dup2(file_fd_, STDERR_FILENO);
  }
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;
  ~StderrCapture() {
    Restore();
    if (file_fd_ >= 0) ::close(file_fd_);
  }

  // Restores standard error and returns everything written meanwhile.
  std::string Finish() {
    Restore();
    std::string text;
    char chunk[4096];
    ::lseek(file_fd_, 0, SEEK_SET);
    ssize_t got;
    while ((got = ::read(file_fd_, chunk, sizeof(chunk))) > 0) text.append(chunk, static_cast<std::size_t>(got));
    ::close(file_fd_);
    file_fd_ = -1;
    return text;
  }

 private:
  void Restore() {
    if (saved_fd_ < 0) return;
    std::fflush(stderr);
    ::dup2(saved_fd_, STDERR_FILENO);
    ::close(saved_fd_);
    saved_fd_ = -1;
  }

  int file_fd_ = -1;
  int saved_fd_ = -1;
};

// The length of the log header that line starts with ("YYYY-MM-DD HH:MM:SS
// <file>:<line> ", the file without spaces), or 0 when it starts with none.
inline std::size_t LogHeaderLength(std::string_view line) {
  static constexpr std::string_view kTimePattern = "dddd-dd-dd dd:dd:dd ";
  if (line.size() < kTimePattern.size()) return 0;
  for (std::size_t i = 0; i < kTimePattern.size(); ++i) {
    const bool digit = line[i] >= '0' && line[i] <= '9';
    if (kTimePattern[i] == 'd' ? !digit : line[i] != kTimePattern[i]) return 0;
  }
  const std::size_t space = line.find(' ', kTimePattern.size());
  if (space == std::string_view::npos) return 0;
  const std::string_view source = line.substr(kTimePattern.size(), space - kTimePattern.size());
  const std::size_t colon = source.rfind(':');
  if (colon == std::string_view::npos || colon == 0 || colon + 1 == source.size()) return 0;
  for (char c : source.substr(colon + 1)) {
    if (c < '0' || c > '9') return 0;
  }
  return space + 1;
}

// The log lines of text with their headers checked and cut off, so that
// "ERROR Decode x failed." remains. A line whose header does not match is
// kept whole, prefixed with "BAD HEADER: ".
inline std::vector<std::string> LogMessages(const std::string& text) {
  std::vector<std::string> messages;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t stop = text.find('\n', start);
    if (stop == std::string::npos) stop = text.size();
    const std::string line = text.substr(start, stop - start);
    const std::size_t header = LogHeaderLength(line);
    messages.push_back(header == 0 ? "BAD HEADER: " + line : line.substr(header));
    start = stop + 1;
  }
  return messages;
}

// A fresh directory under /tmp, removed with everything in it on destruction.
class TempDir {
 public:
  TempDir() {
    char name[] = "/tmp/lumo_test_XXXXXX";
    if (::mkdtemp(name) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = name;
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }

  // Writes content byte for byte to name inside the directory; returns its path.
  std::string Write(const std::string& name, const std::string& content) const {
    const std::string path = Path(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
    return path;
  }
  std::string Path(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace lumo::testing
