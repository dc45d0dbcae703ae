#include "json/json_diagnostic.h"

#include <unistd.h>

#include <cerrno>
#include <string>

#include "common/write_all.h"

namespace lumo::typing::text {

void WriteJsonDiagnostic(std::string_view message, std::string_view found) {
  std::string line;
  line.reserve(message.size() + found.size() + 2);
  line.append(message);
  line.append(found);
  line.append("'\n");
  const int saved_errno = errno;
  common::WriteAll(STDERR_FILENO, line);
  errno = saved_errno;
}

}  // namespace lumo::typing::text
