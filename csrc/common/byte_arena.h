// Append-only room for short byte strings that must not move while views of
// them are held: the UTF-8 of str tokens read for one call or one chunk.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <vector>

namespace lumo {

class ByteArena {
 public:
  // Room for size bytes, which stays where it is until Clear. Claims are
  // carved one after another out of blocks; a claim larger than a block gets
  // a block of its own.
  char* Claim(std::size_t size) {
    if (current_ == blocks_.size() || size > blocks_[current_].size - used_) NextBlock(size);
    char* room = blocks_[current_].bytes.get() + used_;
    used_ += size;
    return room;
  }

  // Gives back the last size bytes of the latest claim, which its owner did
  // not fill.
  void Unclaim(std::size_t size) { used_ -= size; }

  // Ends every claim. Keeps a few blocks of the usual size for the next use,
  // so that a caller that reads list after list seldom allocates, while a
  // huge token's room goes at once.
  void Clear() {
    std::erase_if(blocks_, [](const Block& block) { return block.size != kBlockBytes; });
    if (blocks_.size() > kKeptBlocks) blocks_.resize(kKeptBlocks);
    current_ = 0;
    used_ = 0;
  }

 private:
  // Moves on to the first block after the current one with room for size
  // bytes, adding one when none has.
  [[gnu::noinline]] void NextBlock(std::size_t size) {
    if (current_ < blocks_.size()) ++current_;
    while (current_ < blocks_.size() && size > blocks_[current_].size) ++current_;
    used_ = 0;
    if (current_ == blocks_.size()) {
      const std::size_t block_size = std::max(kBlockBytes, size);
      blocks_.push_back({std::make_unique_for_overwrite<char[]>(block_size), block_size});
    }
  }

  static constexpr std::size_t kBlockBytes = std::size_t{64} << 10;
  static constexpr std::size_t kKeptBlocks = 4;

  struct Block {
    std::unique_ptr<char[]> bytes;
    std::size_t size;
  };
  std::vector<Block> blocks_;
  std::size_t current_ = 0;  // the block claims come from
  std::size_t used_ = 0;     // its bytes claimed
};

}  // namespace lumo
