// Writing a file so that readers see either its old or its new contents.
#pragma once

#include <string>
#include <string_view>

namespace lumo::typing::text {

enum class ReplaceFileResult {
  kReplaced,
  kOpenFailed,   // the file cannot be created there; nothing was changed
  kWriteFailed,  // a write, the flush to disk, the close or the rename failed;
                 // the temporary file is gone and the target untouched
};

// Writes contents to a new temporary file in the directory of path, flushes
// it to disk, closes it and renames it over path. A path naming a directory,
// holding a NUL byte, or an existing file that may not be written counts as
// one that cannot be opened. A symbolic link is replaced through to the file
// it points to. An existing target that is not a regular file (a device, a
// pipe) is written directly instead, with every write and the close checked. An existing file's permission bits carry over; a new file
// gets 0666 less the process's umask.
ReplaceFileResult ReplaceFileContents(const std::string& path, std::string_view contents);

}  // namespace lumo::typing::text
