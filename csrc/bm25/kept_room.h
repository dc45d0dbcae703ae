// The rule for working room that calls keep per thread and reuse: room that an
// unusually long list grew past kKeptRoom entries is released when the call
// for that list ends, so that one huge document does not pin its working
// memory to the thread.
#pragma once

#include <cstddef>
#include <vector>

namespace lumo::typing::text {

inline constexpr std::size_t kKeptRoom = std::size_t{1} << 16;

template <typename Value>
void ReleaseIfLarge(std::vector<Value>& room) {
  if (room.capacity() > kKeptRoom) std::vector<Value>().swap(room);
}

}  // namespace lumo::typing::text
