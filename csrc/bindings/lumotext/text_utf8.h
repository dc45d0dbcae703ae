// UTF-8 of a str's code points, read from its canonical storage (1, 2 or 4
// bytes per code point). Batch workers encode their texts with this, off the
// interpreter lock (a str is immutable and the batch holds a reference to
// each), instead of the calling thread asking each str for its UTF-8, which
// would also keep a cached copy alive in every str.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace lumo::bindings::companion {

// Replaces out by the UTF-8 of units[0, length). False, with out unspecified,
// when a unit is a surrogate (a str may hold one; UTF-8 cannot) or the UTF-8
// would take `limit` bytes or more.
template <typename Unit>
bool EncodeUtf8(const Unit* units, std::size_t length, std::size_t limit, std::string& out) {
  std::size_t size = 0;
  for (std::size_t i = 0; i < length; ++i) {
    const std::uint32_t c = units[i];
    if (c >= 0xD800 && c <= 0xDFFF) return false;
    size += c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
  }
  if (size >= limit) return false;
  out.resize(size);
  char* at = out.data();
  for (std::size_t i = 0; i < length; ++i) {
    const std::uint32_t c = units[i];
    if (c < 0x80) {
      *at++ = static_cast<char>(c);
    } else if (c < 0x800) {
      *at++ = static_cast<char>(0xC0 | (c >> 6));
      *at++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      *at++ = static_cast<char>(0xE0 | (c >> 12));
      *at++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *at++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
      *at++ = static_cast<char>(0xF0 | (c >> 18));
      *at++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      *at++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *at++ = static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return true;
}

}  // namespace lumo::bindings::companion
