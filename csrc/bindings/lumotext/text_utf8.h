// UTF-8 of a str's code points, read from its canonical storage (1, 2 or 4
// bytes per code point). Batch workers encode their texts with this, off the
// interpreter lock (a str is immutable and the batch holds a reference to
// each), instead of the calling thread asking each str for its UTF-8, which
// would also keep a cached copy alive in every str.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/utf8.h"

namespace lumo::bindings::companion {

// Replaces out by the UTF-8 of units[0, length). False, with out unspecified,
// when a unit is a surrogate (a str may hold one; UTF-8 cannot) or the UTF-8
// would take `limit` bytes or more.
template <typename Unit>
bool EncodeUtf8(const Unit* units, std::size_t length, std::size_t limit, std::string& out) {
  std::size_t size = 0;
  for (std::size_t i = 0; i < length; ++i) {
    if (units[i] >= 0xD800 && units[i] <= 0xDFFF) return false;
    size += Utf8Length(units[i]);
  }
  if (size >= limit) return false;
  out.clear();
  out.reserve(size);
  for (std::size_t i = 0; i < length; ++i) AppendUtf8(out, units[i]);
  return true;
}

}  // namespace lumo::bindings::companion
