// The set of separator runes of a segmenter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tokenizer/jieba/rune.h"

namespace lumo::typing::text::jieba {

// A set of code points tuned for the handful of separators a segmenter has:
// ASCII members live in a 128-bit map, the others in a short list behind a
// 64-bit filter of their low six bits. Behaves as a hash set of code points
// would (insert reports duplicates, find answers membership), but costs one
// bit test per rune (rarely followed by a scan of two or three values)
// instead of a hash.
class SeparatorSet {
 public:
  SeparatorSet() = default;
  SeparatorSet(const SeparatorSet&) = default;
  SeparatorSet& operator=(const SeparatorSet&) = default;
  SeparatorSet(SeparatorSet&&) noexcept = default;
  SeparatorSet& operator=(SeparatorSet&&) noexcept = default;

  // Adds code_point; returns false (and changes nothing) when it is already in.
  bool insert(Rune code_point) {
    if (contains(code_point)) return false;
    if (code_point < 128) {
      ascii_[code_point >> 6] |= std::uint64_t{1} << (code_point & 63);
    } else {
      others_.push_back(code_point);
      others_bits_ |= std::uint64_t{1} << (code_point & 63);
    }
    ++size_;
    return true;
  }

  bool contains(Rune code_point) const {
    if (code_point < 128) return (ascii_[code_point >> 6] >> (code_point & 63)) & 1;
    // Most text runes share their low six bits with no separator.
    if (((others_bits_ >> (code_point & 63)) & 1) == 0) return false;
    for (Rune other : others_) {
      if (other == code_point) return true;
    }
    return false;
  }

  void clear() {
    ascii_[0] = ascii_[1] = 0;
    others_.clear();
    others_bits_ = 0;
    size_ = 0;
  }

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

 private:
  std::uint64_t ascii_[2] = {0, 0};
  std::vector<Rune> others_;
  std::uint64_t others_bits_ = 0;  // bit (c & 63) set for each c in others_
  std::size_t size_ = 0;
};

}  // namespace lumo::typing::text::jieba
