// Capturing what is written to file descriptor 2 (by ::write or stdio).
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

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

}  // namespace lumo::testing
