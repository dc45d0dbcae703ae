#include "common/file_replacer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "common/write_all.h"

namespace lumo::typing::text {

namespace {

// Follows a symbolic link to the file it names, so that the rename replaces
// that file and not the link; a dangling link is written as the link itself.
std::string ResolveTarget(const std::string& path) {
  struct stat link_status;
  if (::lstat(path.c_str(), &link_status) != 0 || !S_ISLNK(link_status.st_mode)) return path;
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) return path;
  return resolved;
}

// Creates a new file beside target, named after it; -1 when none can be made.
int CreateTemporary(const std::string& target, std::string& temporary_path) {
  static std::atomic<unsigned> serial{0};
  const std::size_t slash = target.rfind('/');
  const std::string directory = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary_path = directory + "." + name + ".tmp." + std::to_string(::getpid()) + "." +
                     std::to_string(serial.fetch_add(1));
    const int fd = ::open(temporary_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Devices, pipes and sockets cannot be renamed over: they are written
// directly, as a plain open for writing would.
ReplaceFileResult WriteInPlace(const std::string& target, std::string_view contents) {
  const int fd = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) return ReplaceFileResult::kOpenFailed;
  bool written = common::WriteAll(fd, contents);
  if (::close(fd) != 0) written = false;
  return written ? ReplaceFileResult::kReplaced : ReplaceFileResult::kWriteFailed;
}

}  // namespace

ReplaceFileResult ReplaceFileContents(const std::string& path, std::string_view contents) {
  if (path.empty() || path.find('\0') != std::string::npos || path.back() == '/') {
    return ReplaceFileResult::kOpenFailed;
  }
  const std::string target = ResolveTarget(path);
  struct stat status;
  const bool exists = ::stat(target.c_str(), &status) == 0;
  if (!exists && errno != ENOENT) return ReplaceFileResult::kOpenFailed;
  if (exists && (S_ISDIR(status.st_mode) || ::access(target.c_str(), W_OK) != 0)) {
    return ReplaceFileResult::kOpenFailed;
  }

  if (exists && !S_ISREG(status.st_mode)) return WriteInPlace(target, contents);

  std::string temporary_path;
  const int fd = CreateTemporary(target, temporary_path);
  if (fd < 0) return ReplaceFileResult::kOpenFailed;
  bool written = common::WriteAll(fd, contents);
  if (written && exists) written = ::fchmod(fd, status.st_mode & 07777) == 0;
  if (written) written = ::fsync(fd) == 0;
  if (::close(fd) != 0) written = false;
  if (written) written = ::rename(temporary_path.c_str(), target.c_str()) == 0;
  if (!written) {
    ::unlink(temporary_path.c_str());
    return ReplaceFileResult::kWriteFailed;
  }
  return ReplaceFileResult::kReplaced;
}

}  // namespace lumo::typing::text
