// Captures what is written to file descriptor 2 (both ::write and stdio)
// between construction and Take(), by pointing fd 2 at a temporary file.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

namespace lumo::testing {

class StderrCapture {
 public:
  StderrCapture() {
    std::fflush(stderr);
    saved_fd_ = ::dup(STDERR_FILENO);
    file_ = std::tmpfile();
    if (file_ != nullptr) ::dup2(::fileno(file_), STDERR_FILENO);
  }
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;
  ~StderrCapture() { Restore(); }

  // Everything written since construction; fd 2 is restored.
  std::string Take() {
    std::fflush(stderr);
    std::string text;
    if (file_ != nullptr) {
      std::rewind(file_);
      char chunk[4096];
      std::size_t got;
      while ((got = std::fread(chunk, 1, sizeof(chunk), file_)) > 0) text.append(chunk, got);
    }
    Restore();
    return text;
  }

 private:
  void Restore() {
    if (saved_fd_ >= 0) {
      ::dup2(saved_fd_, STDERR_FILENO);
      ::close(saved_fd_);
      saved_fd_ = -1;
    }
    if (file_ != nullptr) {
      std::fclose(file_);
      file_ = nullptr;
    }
  }

  int saved_fd_ = -1;
  std::FILE* file_ = nullptr;
};

}  // namespace lumo::testing
