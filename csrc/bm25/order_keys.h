// Sorting of encoder outputs by token. Each entry gets a 64-bit order key
// (the big-endian first bytes of a token text, or an integer id with its
// sign bit flipped), and the keys are merge sorted without data-dependent
// branches: the keys of distinct tokens are random, so a comparison sort
// would mispredict about every other comparison.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace lumo::typing::text {

struct OrderKey {
  std::uint64_t order;
  std::uint32_t index;  // the entry's place before sorting
};

// An integer id's key: unsigned order of the result is the signed order of id.
inline std::uint64_t IdOrder(std::int64_t id) { return static_cast<std::uint64_t>(id) ^ (std::uint64_t{1} << 63); }

// Sorts keys by order, keeping the input order of equal keys; scratch is
// working room that the call may grow.
inline void SortOrderKeys(std::span<OrderKey> keys, std::vector<OrderKey>& scratch) {
  const std::size_t count = keys.size();
  if (count <= 16) {
    for (std::size_t i = 1; i < count; ++i) {
      const OrderKey moving = keys[i];
      std::size_t j = i;
      for (; j > 0 && moving.order < keys[j - 1].order; --j) keys[j] = keys[j - 1];
      keys[j] = moving;
    }
    return;
  }
  if (scratch.size() < count) scratch.resize(count);
  OrderKey* from = keys.data();
  OrderKey* to = scratch.data();
  for (std::size_t width = 1; width < count; width *= 2) {
    for (std::size_t start = 0; start < count; start += 2 * width) {
      const std::size_t middle = std::min(start + width, count);
      const std::size_t end = std::min(start + 2 * width, count);
      std::size_t left = start;
      std::size_t right = middle;
      std::size_t out = start;
      while (left < middle && right < end) {
        // Takes the right key only when strictly smaller, so the merge is
        // stable; the place is picked by a mask, which the compiler cannot
        // turn back into a branch.
        const std::size_t take_right = from[right].order < from[left].order;
        const std::size_t pick = left ^ ((left ^ right) & (std::size_t{0} - take_right));
        to[out++] = from[pick];
        right += take_right;
        left += 1 - take_right;
      }
      while (left < middle) to[out++] = from[left++];
      while (right < end) to[out++] = from[right++];
    }
    std::swap(from, to);
  }
  if (from != keys.data()) std::copy(from, from + count, keys.data());
}

}  // namespace lumo::typing::text
