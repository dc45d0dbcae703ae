// Hashes, equality and ordering of token texts and integer token ids for the
// model's open-addressing tables and sorted outputs. Each token is hashed once
// per call and the hash travels with it from the per-document counter into the
// corpus table. The hashes are keyed with a secret drawn at random once per
// process, so that nobody can compute in advance a set of tokens that collide
// (a service training on user text would otherwise be open to flooding); the
// tables' iteration order is never observable, so results do not depend on it. Tokens are short, so the helpers read them word by word
// inline rather than calling memcmp.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace lumo::typing::text {

namespace token_hash_detail {

struct HashSecret {
  std::uint64_t seed0;
  std::uint64_t seed1;
  std::uint64_t seed2;
};

// Three random words from the operating system's generator; odd, so that no
// multiplication by a secret alone loses bits.
HashSecret DrawHashSecret();

inline const HashSecret kSecret = DrawHashSecret();

// Folds the 128-bit product of a and b into 64 bits: every input bit reaches
// every output bit, low bits included, so the tables can mask the result.
inline std::uint64_t Fold(std::uint64_t a, std::uint64_t b) {
  const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
  return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
}

inline std::uint64_t Load64(const unsigned char* p) {
  std::uint64_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

inline std::uint64_t Load32(const unsigned char* p) {
  std::uint32_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

}  // namespace token_hash_detail

// A 64-bit hash of the bytes of text. Reads only inside the text (short texts
// are read as two overlapping words), and mixes the length in, so texts that
// share their bytes but not their length differ.
inline std::uint64_t HashTokenText(std::string_view text) {
  using namespace token_hash_detail;
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  std::size_t n = text.size();
  const HashSecret secret = kSecret;
  std::uint64_t seed = secret.seed0;
  std::uint64_t a = 0;
  std::uint64_t b = 0;
  if (n <= 16) {
    if (n >= 8) {
      a = Load64(p);
      b = Load64(p + n - 8);
    } else if (n >= 4) {
      a = Load32(p);
      b = Load32(p + n - 4);
    } else if (n > 0) {
      a = (std::uint64_t{p[0]} << 16) | (std::uint64_t{p[n >> 1]} << 8) | p[n - 1];
    }
  } else {
    const unsigned char* cursor = p;
    std::size_t left = n;
    while (left > 16) {
      seed = Fold(Load64(cursor) ^ secret.seed1, Load64(cursor + 8) ^ seed);
      cursor += 16;
      left -= 16;
    }
    a = Load64(p + n - 16);
    b = Load64(p + n - 8);
  }
  return Fold(secret.seed1 ^ static_cast<std::uint64_t>(n), Fold(a ^ secret.seed1, b ^ seed ^ secret.seed2));
}

// Whether the n bytes at a and b are equal; loads stay inside both.
inline bool TokenBytesEqual(const char* a, const char* b, std::size_t n) {
  using namespace token_hash_detail;
  const auto* x = reinterpret_cast<const unsigned char*>(a);
  const auto* y = reinterpret_cast<const unsigned char*>(b);
  if (n > 16) return std::memcmp(x, y, n) == 0;
  if (n >= 8) return Load64(x) == Load64(y) && Load64(x + n - 8) == Load64(y + n - 8);
  if (n >= 4) return Load32(x) == Load32(y) && Load32(x + n - 4) == Load32(y + n - 4);
  for (std::size_t i = 0; i < n; ++i) {
    if (x[i] != y[i]) return false;
  }
  return true;
}

inline bool TokensEqual(std::string_view a, std::string_view b) {
  return a.size() == b.size() && TokenBytesEqual(a.data(), b.data(), a.size());
}
inline bool TokensEqual(std::int64_t a, std::int64_t b) { return a == b; }

// The first 8 bytes of text as a big-endian number, zero-padded: comparing
// these numbers orders texts bytewise (unsigned) as far as they differ in
// their first 8 bytes; a tie needs the full comparison.
inline std::uint64_t TokenOrderPrefix(std::string_view text) {
  using namespace token_hash_detail;
  static_assert(std::endian::native == std::endian::little, "the loads below assume little-endian words");
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::uint64_t word = 0;  // the first min(n, 8) bytes, first byte lowest
  if (n >= 8) {
    word = Load64(p);
  } else if (n >= 4) {
    // Two overlapping loads; the shared bytes agree, so OR joins them.
    word = Load32(p) | (Load32(p + n - 4) << (8 * (n - 4)));
  } else {
    for (std::size_t i = 0; i < n; ++i) word |= std::uint64_t{p[i]} << (8 * i);
  }
  return __builtin_bswap64(word);
}

// A 64-bit hash of an integer token id.
inline std::uint64_t HashTokenId(std::int64_t id) {
  using namespace token_hash_detail;
  return Fold(static_cast<std::uint64_t>(id) ^ kSecret.seed0, kSecret.seed1);
}

}  // namespace lumo::typing::text
