// Writing a whole buffer to a file descriptor.
#pragma once

#include <string_view>

namespace lumo::common {

// Writes every byte of data to fd, retrying after partial writes and
// interruptions. Returns false when the descriptor fails (or accepts no
// bytes); how much was written then is unknown.
bool WriteAll(int fd, std::string_view data);

}  // namespace lumo::common
