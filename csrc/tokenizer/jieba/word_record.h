// One output word: a byte slice of the input with its offsets.
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

}  // namespace lumo::typing::text::jieba
