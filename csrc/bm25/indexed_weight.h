// Entries of vectors keyed by 32-bit index, and their stable sort by index.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "bm25/insertion_sort.h"

namespace lumo::typing::text {

struct IndexedWeight {
  std::uint32_t index;
  double weight;
};

// Working room of SortByIndex, kept by a caller that sorts vector after vector.
struct IndexSortRoom {
  std::vector<IndexedWeight> spare;
  std::vector<std::uint32_t> bucket_ends;
};

namespace indexed_weight_detail {

constexpr std::size_t kInsertionRun = 16;
// At most 2^16 buckets: beyond that, sorting within the buckets is cheaper
// than room for more of them.
constexpr int kMaxBucketBits = 16;

inline void InsertionSort(IndexedWeight* entries, std::size_t count) {
  StableInsertionSort(entries, count, [](const IndexedWeight& entry) { return entry.index; });
}

}  // namespace indexed_weight_detail

// Sorts entries by index, keeping their order among equal indices. One
// counting pass scatters them into about one bucket per entry, by the
// highest bits in which their indices differ: hashed indices spread evenly,
// so buckets hold an entry or two and a short insertion sort finishes each.
// A large bucket (indices chosen to share their high bits) gets a merge sort,
// so no input costs more than n log n.
inline void SortByIndex(std::vector<IndexedWeight>& entries, IndexSortRoom& room) {
  using namespace indexed_weight_detail;
  const std::size_t count = entries.size();
  if (count <= kInsertionRun) {
    InsertionSort(entries.data(), count);
    return;
  }
  std::uint32_t differ = 0;
  for (const IndexedWeight& entry : entries) differ |= entry.index ^ entries[0].index;
  if (differ == 0) return;  // one index: already in stable order
  const int bits = std::min(static_cast<int>(std::bit_width(count)), kMaxBucketBits);
  const int shift = std::max(static_cast<int>(std::bit_width(differ)) - bits, 0);
  const std::uint32_t mask = (std::uint32_t{1} << bits) - 1;
  const auto bucket = [&](const IndexedWeight& entry) { return (entry.index >> shift) & mask; };
  // ends[b + 1] first counts bucket b; the sums then make ends[b] the start
  // of bucket b, and the scatter moves it to the bucket's end.
  std::vector<std::uint32_t>& ends = room.bucket_ends;
  ends.assign((std::size_t{1} << bits) + 1, 0);
  for (const IndexedWeight& entry : entries) ++ends[bucket(entry) + 1];
  for (std::size_t b = 1; b < ends.size(); ++b) ends[b] += ends[b - 1];
  room.spare.resize(count);
  for (const IndexedWeight& entry : entries) room.spare[ends[bucket(entry)]++] = entry;
  entries.swap(room.spare);
  // The bits above the window are equal in all indices, so the buckets are
  // in index order; each is sorted within.
  std::uint32_t start = 0;
  for (std::size_t b = 0; b + 1 < ends.size(); ++b) {
    const std::uint32_t end = ends[b];
    const std::size_t size = end - start;
    if (size <= kInsertionRun) {
      InsertionSort(entries.data() + start, size);
    } else {
      std::stable_sort(entries.begin() + start, entries.begin() + end,
                       [](const IndexedWeight& a, const IndexedWeight& b) { return a.index < b.index; });
    }
    start = end;
  }
}

// Sums the weights of neighbouring entries that share an index, left to
// right; entries is left holding the joined vector.
inline void JoinEqualIndices(std::vector<IndexedWeight>& entries) {
  std::size_t joined = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (joined > 0 && entries[joined - 1].index == entries[i].index) {
      entries[joined - 1].weight += entries[i].weight;
    } else {
      entries[joined++] = entries[i];
    }
  }
  entries.resize(joined);
}

// Sorts entries by index and sums the weights of entries that share one, in
// their order in entries; entries is left holding the joined vector.
inline void SortAndJoin(std::vector<IndexedWeight>& entries, IndexSortRoom& room) {
  SortByIndex(entries, room);
  JoinEqualIndices(entries);
}

}  // namespace lumo::typing::text
