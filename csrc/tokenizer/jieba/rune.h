// Runes: code points decoded from UTF-8 that remember where they came from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tokenizer/jieba/inline_vector.h"

namespace lumo::typing::text::jieba {

using Rune = std::uint32_t;

// One decoded code point and the place of its encoding in the source string.
struct DecodedRune {
  std::uint32_t code_point = 0;
  std::uint32_t byte_offset = 0;  // first byte of its encoding in the source
  std::uint32_t byte_length = 0;  // 1 to 4
  std::uint32_t rune_offset = 0;  // index in the decoded list
  std::uint32_t rune_length = 0;  // always 1 from the decoder
};

using RuneList = InlineVector<DecodedRune>;
using CodePointList = InlineVector<Rune>;

// A text stored one code point per unit of `width` bytes (1, 2 or 4), as
// CPython stores a str: no decoding, and positions in it count code points.
// Its units must be code points, none a surrogate.
struct CodePointText {
  const void* data = nullptr;
  std::size_t size = 0;  // in code points
  unsigned width = 1;
};

// Decodes the one code point whose encoding starts at bytes[0], with
// remaining bytes left in the input (at least 1), by the rules of DecodeRunes
// below. Returns the number of bytes used (1 to 4), or 0 when the lead byte is
// 0xF8..0xFF or the sequence is cut off by the end of the input.
inline std::uint32_t DecodeOneRune(const unsigned char* s, std::size_t remaining, Rune& code_point) {
  const std::uint32_t b = s[0];
  if (b < 0x80) {
    code_point = b;
    return 1;
  }
  if (b <= 0xDF) {
    if (remaining < 2) return 0;
    code_point = ((b & 0x1F) << 6) | (s[1] & 0x3F);
    return 2;
  }
  if (b <= 0xEF) {
    if (remaining < 3) return 0;
    code_point = ((b & 0x0F) << 12) | ((s[1] & 0x3Fu) << 6) | (s[2] & 0x3F);
    return 3;
  }
  if (b <= 0xF7 && remaining >= 4) {
    code_point = ((b & 0x07) << 18) | ((s[1] & 0x3Fu) << 12) | ((s[2] & 0x3Fu) << 6) | (s[3] & 0x3F);
    return 4;
  }
  return 0;
}

// The number of runes that a well-formed UTF-8 text of length bytes decodes
// to: the bytes that are no continuation byte. Malformed text may decode to a
// few more; it is an exact size for the common case, not a bound.
std::size_t CountLeadBytes(const char* bytes, std::size_t length);

// Decodes UTF-8 leniently: continuation bytes are not inspected (only their
// low six bits are used), a stray continuation byte leads a two-byte form, and
// overlong forms, surrogates and values up to 0x1FFFFF are accepted. Fails only
// on a lead byte 0xF8..0xFF or on a sequence cut off by the end of the input;
// on failure the output is empty and uses its inside room. The source must be
// shorter than 4 GiB, since offsets are 32-bit.
bool DecodeRunes(const char* bytes, std::size_t length, RuneList& runes);
inline bool DecodeRunes(std::string_view text, RuneList& runes) {
  return DecodeRunes(text.data(), text.size(), runes);
}

// Decodes text as DecodeRunes does and keeps only the code points; on failure
// the output is empty.
bool DecodeCodePoints(std::string_view text, CodePointList& code_points);

}  // namespace lumo::typing::text::jieba
