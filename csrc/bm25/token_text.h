// The token text of an integer token id: the key under which the model keeps
// the id's corpus frequency, shared with the string token of the same text.
#pragma once

#include <charconv>
#include <cstdint>
#include <string_view>

namespace lumo::typing::text {

// Room for the longest text, "-9223372036854775808".
struct TokenTextBuffer {
  char bytes[20];
};

// Writes the decimal text of id into buffer (an optional "-", the digits of
// the absolute value, no leading zeros or "+") and returns a view of it, valid
// while buffer lives and is not reused.
inline std::string_view IntegerTokenText(std::int64_t id, TokenTextBuffer& buffer) {
  const auto result = std::to_chars(buffer.bytes, buffer.bytes + sizeof buffer.bytes, id);
  return {buffer.bytes, static_cast<std::size_t>(result.ptr - buffer.bytes)};
}

}  // namespace lumo::typing::text
