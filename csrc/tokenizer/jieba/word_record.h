// Output words: a byte slice of the input with its offsets, as a copy or as
// a slice.
#pragma once

#include <cstdint>
#include <string>

namespace lumo::typing::text::jieba {

struct WordRecord {
  std::string text;               // the word's bytes, copied from the source
  std::uint32_t byte_offset = 0;  // offset of the first byte in the source
  std::uint32_t rune_offset = 0;  // index of the first rune in the source's rune list
  std::uint32_t rune_length = 0;  // number of runes
};

// One output word as a slice of the sentence it was cut from: what the
// segmenters produce, and what the bindings turn into strings themselves.
// Offset and length count the sentence's units: bytes of UTF-8, or code
// points of a text of code points.
struct WordSlice {
  std::uint32_t byte_offset = 0;
  std::uint32_t byte_length = 0;
};

}  // namespace lumo::typing::text::jieba
