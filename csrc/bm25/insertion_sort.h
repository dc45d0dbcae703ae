// The stable insertion sort that the sorts of short runs of entries share.
#pragma once

#include <cstddef>

namespace lumo::typing::text {

// Sorts entries [0, count) by key(entry), keeping the order of equal keys.
template <typename Entry, typename Key>
void StableInsertionSort(Entry* entries, std::size_t count, Key key) {
  for (std::size_t i = 1; i < count; ++i) {
    const Entry moving = entries[i];
    std::size_t j = i;
    for (; j > 0 && key(moving) < key(entries[j - 1]); --j) entries[j] = entries[j - 1];
    entries[j] = moving;
  }
}

}  // namespace lumo::typing::text
