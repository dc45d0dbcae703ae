#include "json/json_diagnostic.h"

#include <unistd.h>

#include <cerrno>
#include <string>

namespace lumo::typing::text {

void WriteJsonDiagnostic(std::string_view message, std::string_view found) {
  std::string line;
  line.reserve(message.size() + found.size() + 2);
  line.append(message);
  line.append(found);
  line.append("'\n");
  const int saved_errno = errno;
  std::size_t written = 0;
  while (written < line.size()) {
    const ssize_t result = ::write(STDERR_FILENO, line.data() + written, line.size() - written);
    if (result > 0) {
      written += static_cast<std::size_t>(result);
    } else if (result < 0 && errno == EINTR) {
      continue;
    } else {
      break;
    }
  }
  errno = saved_errno;
}

}  // namespace lumo::typing::text
