// Sorting of encoder outputs by token. Each entry gets a 64-bit order key
// (the big-endian first bytes of a token text, an integer id with its sign
// bit flipped, or a 32-bit index), and the keys are radix sorted from their
// most significant byte down: the keys of distinct tokens spread over the
// buckets, so one or two passes leave runs short enough for insertion sort,
// where a comparison sort would mispredict about every other comparison.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace lumo::typing::text {

struct OrderKey {
  std::uint64_t order;
  std::uint32_t index;  // the entry's place before sorting
};

// An integer id's key: unsigned order of the result is the signed order of id.
inline std::uint64_t IdOrder(std::int64_t id) { return static_cast<std::uint64_t>(id) ^ (std::uint64_t{1} << 63); }

namespace order_keys_detail {

constexpr std::size_t kInsertionRun = 16;

// Stable insertion sort of a short run.
inline void InsertionSort(OrderKey* keys, std::size_t count) {
  for (std::size_t i = 1; i < count; ++i) {
    const OrderKey moving = keys[i];
    std::size_t j = i;
    for (; j > 0 && moving.order < keys[j - 1].order; --j) keys[j] = keys[j - 1];
    keys[j] = moving;
  }
}

// Sorts keys, which agree in every byte above shift, by their bytes from
// shift down; scratch has room for count keys.
inline void RadixSort(OrderKey* keys, OrderKey* scratch, std::size_t count, int shift) {
  // Keys whose bytes at this level are all equal descend without moving.
  while (count > kInsertionRun && shift >= 0) {
    std::uint32_t starts[257] = {};
    for (std::size_t i = 0; i < count; ++i) ++starts[((keys[i].order >> shift) & 0xff) + 1];
    if (starts[((keys[0].order >> shift) & 0xff) + 1] != count) break;
    shift -= 8;
  }
  if (count <= kInsertionRun || shift < 0) {
    InsertionSort(keys, count);
    return;
  }
  std::uint32_t starts[257] = {};
  for (std::size_t i = 0; i < count; ++i) ++starts[((keys[i].order >> shift) & 0xff) + 1];
  for (std::size_t b = 1; b < 257; ++b) starts[b] += starts[b - 1];
  std::uint32_t next[256];
  std::copy(starts, starts + 256, next);
  // Stable scatter: equal bytes keep their order.
  for (std::size_t i = 0; i < count; ++i) scratch[next[(keys[i].order >> shift) & 0xff]++] = keys[i];
  std::copy(scratch, scratch + count, keys);
  for (std::size_t b = 0; b < 256; ++b) {
    const std::size_t size = starts[b + 1] - starts[b];
    if (size > 1) RadixSort(keys + starts[b], scratch + starts[b], size, shift - 8);
  }
}

}  // namespace order_keys_detail

// Sorts keys by order, keeping the input order of equal keys; scratch is
// working room that the call may grow.
inline void SortOrderKeys(std::span<OrderKey> keys, std::vector<OrderKey>& scratch) {
  if (keys.size() <= order_keys_detail::kInsertionRun) {
    order_keys_detail::InsertionSort(keys.data(), keys.size());
    return;
  }
  if (scratch.size() < keys.size()) scratch.resize(keys.size());
  // Start at the highest byte that any key sets (32-bit indices skip four).
  std::uint64_t any = 0;
  for (const OrderKey& key : keys) any |= key.order;
  const int top = any == 0 ? 0 : (63 - std::countl_zero(any)) / 8 * 8;
  order_keys_detail::RadixSort(keys.data(), scratch.data(), keys.size(), top);
}

}  // namespace lumo::typing::text
