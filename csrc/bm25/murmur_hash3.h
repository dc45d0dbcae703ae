// MurmurHash3, x86 32-bit variant: the index that sparse-vector consumers
// conventionally give a string token (seed 0 over its UTF-8 bytes).
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace lumo::typing::text {

// The unsigned 32-bit MurmurHash3_x86_32 of the bytes of text with seed.
// Blocks are read as little-endian words, as the reference definition does.
inline std::uint32_t MurmurHash3X86_32(std::string_view text, std::uint32_t seed = 0) {
  static_assert(std::endian::native == std::endian::little, "blocks are loaded as little-endian words");
  constexpr std::uint32_t c1 = 0xcc9e2d51;
  constexpr std::uint32_t c2 = 0x1b873593;
  const auto* data = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t length = text.size();
  const std::size_t block_count = length / 4;
  std::uint32_t h = seed;
  for (std::size_t i = 0; i < block_count; ++i) {
    std::uint32_t k;
    std::memcpy(&k, data + 4 * i, sizeof k);
    k *= c1;
    k = std::rotl(k, 15);
    k *= c2;
    h ^= k;
    h = std::rotl(h, 13);
    h = h * 5 + 0xe6546b64;
  }
  const unsigned char* tail = data + 4 * block_count;
  std::uint32_t k = 0;
  switch (length & 3) {
    case 3:
      k ^= std::uint32_t{tail[2]} << 16;
      [[fallthrough]];
    case 2:
      k ^= std::uint32_t{tail[1]} << 8;
      [[fallthrough]];
    case 1:
      k ^= tail[0];
      k *= c1;
      k = std::rotl(k, 15);
      k *= c2;
      h ^= k;
  }
  // The length enters modulo 2^32, as in the reference's int length.
  h ^= static_cast<std::uint32_t>(length);
  h ^= h >> 16;
  h *= 0x85ebca6b;
  h ^= h >> 13;
  h *= 0xc2b2ae35;
  h ^= h >> 16;
  return h;
}

}  // namespace lumo::typing::text
