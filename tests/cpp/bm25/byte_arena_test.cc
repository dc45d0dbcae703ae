#include "common/byte_arena.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace lumo {
namespace {

// Claims of every size, a block's worth and more included, keep their bytes
// where they were written until Clear, and the arena serves as well after it.
TEST(ByteArenaTest, ClaimsStayInPlaceUntilClear) {
  ByteArena arena;
  for (int round = 0; round < 2; ++round) {
    std::vector<std::string_view> views;
    std::vector<std::string> expected;
    for (std::size_t size : {0, 1, 7, 4000, 70000, 3, 65536, 65535, 200000, 12}) {
      for (int copy = 0; copy < 20; ++copy) {
        std::string bytes(size, static_cast<char>('a' + (expected.size() + round) % 26));
        char* room = arena.Claim(size + 5);
        bytes.copy(room, size);
        arena.Unclaim(5);  // the unused tail goes to the next claim
        views.emplace_back(room, size);
        expected.push_back(std::move(bytes));
      }
    }
    for (std::size_t i = 0; i < views.size(); ++i) ASSERT_EQ(views[i], expected[i]) << "claim " << i;
    arena.Clear();
  }
}

}  // namespace
}  // namespace lumo
