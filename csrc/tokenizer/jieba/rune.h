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
