#include "bm25/token_hash.h"

#include <sys/random.h>

#include <cerrno>
#include <chrono>

namespace lumo::typing::text::token_hash_detail {

HashSecret DrawHashSecret() {
  std::uint64_t words[3] = {};
  std::size_t filled = 0;
  while (filled < sizeof words) {
    const ssize_t got = ::getrandom(reinterpret_cast<char*>(words) + filled, sizeof words - filled, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;  // no generator: the fallback below still varies per process
    filled += static_cast<std::size_t>(got);
  }
  if (filled < sizeof words) {
    const auto now = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    const auto place = reinterpret_cast<std::uintptr_t>(&filled);
    words[0] ^= Fold(now ^ 0xa0761d6478bd642fULL, place ^ 0xe7037ed1a0b428dbULL);
    words[1] ^= Fold(words[0] ^ 0x8ebc6af09c88c6e3ULL, now ^ 0x589965cc75374cc3ULL);
    words[2] ^= Fold(words[1] ^ 0x1d8e4e27c47d124fULL, place ^ 0xa0761d6478bd642fULL);
  }
  return {words[0] | 1, words[1] | 1, words[2] | 1};
}

}  // namespace lumo::typing::text::token_hash_detail
