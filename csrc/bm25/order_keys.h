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

#include "bm25/insertion_sort.h"

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
  StableInsertionSort(keys, count, [](const OrderKey& key) { return key.order; });
}

// Sorts keys, which agree in every byte above shift, by their bytes from
// shift down; scratch has room for count keys. Each level visits only the
// bucket range its keys use (26 for lowercase letters, not 256), so that a
// level costs little more than a pass over its keys.
inline void RadixSort(OrderKey* keys, OrderKey* scratch, std::size_t count, int shift) {
  while (count > kInsertionRun && shift >= 0) {
    // starts[b + 1] counts the keys whose byte is b, for b in [low, high].
    std::uint32_t starts[257] = {};
    unsigned low = 255;
    unsigned high = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const unsigned byte = (keys[i].order >> shift) & 0xff;
      ++starts[byte + 1];
      low = std::min(low, byte);
      high = std::max(high, byte);
    }
    if (low == high) {  // all equal at this level: descend without moving
      shift -= 8;
      continue;
    }
    // starts[b] becomes the number of keys whose byte is below b.
    for (unsigned b = low + 1; b <= high; ++b) starts[b + 1] += starts[b];
    std::uint32_t next[256];
    std::copy(starts + low, starts + high + 1, next + low);
    // Stable scatter: equal bytes keep their order.
    for (std::size_t i = 0; i < count; ++i) scratch[next[(keys[i].order >> shift) & 0xff]++] = keys[i];
    std::copy(scratch, scratch + count, keys);
    for (unsigned b = low; b <= high; ++b) {
      const std::size_t size = starts[b + 1] - starts[b];
      if (size > 1) RadixSort(keys + starts[b], scratch + starts[b], size, shift - 8);
    }
    return;
  }
  InsertionSort(keys, count);
}

}  // namespace order_keys_detail

// Sorts keys by order, keeping the input order of equal keys; scratch is
// working room that the call may grow. Two stable counting passes order the
// keys by the 16 bits below the highest bit in which any two keys differ:
// distinct tokens rarely share those, and the passes do the same work
// whatever the keys, where bucket by bucket sorting would mispredict a branch
// at about every other comparison. Keys still equal in those bits (runs,
// mostly of one key) are then sorted by their lower bits.
inline void SortOrderKeys(std::span<OrderKey> keys, std::vector<OrderKey>& scratch) {
  using namespace order_keys_detail;
  const std::size_t count = keys.size();
  if (count <= kInsertionRun) {
    InsertionSort(keys.data(), count);
    return;
  }
  if (scratch.size() < count) scratch.resize(count);
  std::uint64_t differ = 0;
  for (const OrderKey& key : keys) differ |= key.order ^ keys[0].order;
  if (differ == 0) return;  // all equal: already in stable order
  const int top = 63 - std::countl_zero(differ);
  const int shift = top >= 15 ? top - 15 : 0;
  // Low byte of the window first, then high: the second pass keeps the order
  // of the first among keys whose high bytes are equal. The keys end where
  // they started.
  OrderKey* from = keys.data();
  OrderKey* to = scratch.data();
  for (const int digit_shift : {shift, shift + 8}) {
    std::uint32_t starts[257] = {};
    for (std::size_t i = 0; i < count; ++i) ++starts[((from[i].order >> digit_shift) & 0xff) + 1];
    for (unsigned b = 1; b < 256; ++b) starts[b] += starts[b - 1];
    for (std::size_t i = 0; i < count; ++i) to[starts[(from[i].order >> digit_shift) & 0xff]++] = from[i];
    std::swap(from, to);
  }
  // Bits above the window are equal in all keys, so equal windows mean equal
  // order >> shift.
  for (std::size_t start = 0; start < count;) {
    const std::uint64_t window = keys[start].order >> shift;
    std::size_t end = start + 1;
    while (end < count && (keys[end].order >> shift) == window) ++end;
    if (end - start > 1) RadixSort(keys.data() + start, scratch.data() + start, end - start, shift - 8);
    start = end;
  }
}

}  // namespace lumo::typing::text
