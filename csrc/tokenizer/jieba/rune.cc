#include "tokenizer/jieba/rune.h"

namespace lumo::typing::text::jieba {

bool DecodeRunes(const char* bytes, std::size_t length, RuneList& runes) {
  runes.clear();
  runes.reserve(length / 2);  // a Chinese text (3 bytes a rune) never grows the list
  const auto* s = reinterpret_cast<const unsigned char*>(bytes);
  std::size_t p = 0;
  std::uint32_t k = 0;
  while (p < length) {
    Rune code_point = 0;
    const std::uint32_t used = DecodeOneRune(s + p, length - p, code_point);
    if (used == 0) {
      runes.clear();
      return false;
    }
    runes.push_back(DecodedRune{code_point, static_cast<std::uint32_t>(p), used, k, 1});
    p += used;
    ++k;
  }
  return true;
}

std::size_t CountLeadBytes(const char* bytes, std::size_t length) {
  const auto* s = reinterpret_cast<const unsigned char*>(bytes);
  std::size_t count = 0;
  // A plain loop the compiler vectorises.
  for (std::size_t i = 0; i < length; ++i) count += (s[i] & 0xC0) != 0x80;
  return count;
}

bool DecodeCodePoints(std::string_view text, CodePointList& code_points) {
  code_points.clear();
  RuneList runes;
  if (!DecodeRunes(text, runes)) return false;
  code_points.reserve(runes.size());
  for (const DecodedRune& rune : runes) code_points.push_back(rune.code_point);
  return true;
}

}  // namespace lumo::typing::text::jieba
