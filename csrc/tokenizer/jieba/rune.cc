#include "tokenizer/jieba/rune.h"

namespace lumo::typing::text::jieba {

bool DecodeRunes(const char* bytes, std::size_t length, RuneList& runes) {
  runes.clear();
  runes.reserve(length / 2);  // a Chinese text (3 bytes a rune) never grows the list
  const auto* s = reinterpret_cast<const unsigned char*>(bytes);
  std::size_t p = 0;
  std::uint32_t k = 0;
  while (p < length) {
    const std::uint32_t b = s[p];
    const std::size_t remaining = length - p;
    std::uint32_t code_point;
    std::uint32_t used;
    if (b < 0x80) {
      code_point = b;
      used = 1;
    } else if (b <= 0xDF && remaining >= 2) {
      code_point = ((b & 0x1F) << 6) | (s[p + 1] & 0x3F);
      used = 2;
    } else if (b <= 0xEF && remaining >= 3) {
      code_point = ((b & 0x0F) << 12) | ((s[p + 1] & 0x3Fu) << 6) | (s[p + 2] & 0x3F);
      used = 3;
    } else if (b <= 0xF7 && remaining >= 4) {
      code_point = ((b & 0x07) << 18) | ((s[p + 1] & 0x3Fu) << 12) | ((s[p + 2] & 0x3Fu) << 6) |
                   (s[p + 3] & 0x3F);
      used = 4;
    } else {
      runes.clear();
      return false;
    }
    runes.push_back(DecodedRune{code_point, static_cast<std::uint32_t>(p), used, k, 1});
    p += used;
    ++k;
  }
  return true;
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
