// UTF-8 encoding of one code point, shared by the JSON parser's \u escapes,
// the batch readers of str texts and the benchmarks' text generators.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace lumo {

// Bytes the UTF-8 of code_point takes (1 to 4; code_point below 0x110000).
constexpr std::size_t Utf8Length(std::uint32_t code_point) {
  return code_point < 0x80 ? 1 : code_point < 0x800 ? 2 : code_point < 0x10000 ? 3 : 4;
}

// Writes the UTF-8 of code_point (below 0x110000) at out, which has room
// for Utf8Length(code_point) bytes; returns the end of what it wrote.
inline char* WriteUtf8(std::uint32_t code_point, char* out) {
  if (code_point < 0x80) {
    *out++ = static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    *out++ = static_cast<char>(0xC0 | (code_point >> 6));
    *out++ = static_cast<char>(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (code_point >> 12));
    *out++ = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (code_point & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (code_point >> 18));
    *out++ = static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (code_point & 0x3F));
  }
  return out;
}

// Appends the UTF-8 of code_point (below 0x110000) to out.
inline void AppendUtf8(std::string& out, std::uint32_t code_point) {
  char bytes[4];
  out.append(bytes, WriteUtf8(code_point, bytes));
}

}  // namespace lumo
