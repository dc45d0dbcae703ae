// The model's corpus table: token text to its total number of occurrences.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/huge_page_allocator.h"

namespace lumo::typing::text {

// An open-addressing hash table from token text (bytes) to a signed 32-bit
// count. Keys of up to 16 bytes live in their slot, so that a lookup touches
// one cache line; longer keys are copied into an append-only byte arena and
// referred to by offset. Entries are never removed. Lookups take the caller's hash (HashTokenText of the key), so a
// token is hashed once per call. The iteration order is unspecified.
class TokenFrequencyTable {
 public:
  TokenFrequencyTable() = default;
  TokenFrequencyTable(const TokenFrequencyTable&) = default;
  TokenFrequencyTable& operator=(const TokenFrequencyTable&) = default;
  TokenFrequencyTable(TokenFrequencyTable&&) noexcept = default;
  TokenFrequencyTable& operator=(TokenFrequencyTable&&) noexcept = default;

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  // The count of text, or null when text is absent. The pointer stays valid
  // until the next insertion.
  const std::int32_t* Find(std::string_view text, std::uint64_t hash) const;
  std::int32_t* Find(std::string_view text, std::uint64_t hash);

  // Inserts text, which must be absent, with count. Throws std::length_error
  // for a text of 4 GiB or more.
  void Insert(std::string_view text, std::uint64_t hash, std::int32_t count);

  // Sets the count of text, inserting it when absent.
  void Set(std::string_view text, std::int32_t count);

  // Makes room for at least count entries without rehashing.
  void Reserve(std::size_t count);

  // Starts loading the slot where a lookup of hash begins, so that several
  // lookups can wait for memory at once.
  void Prefetch(std::uint64_t hash) const {
    if (!slots_.empty()) __builtin_prefetch(&slots_[hash & (slots_.size() - 1)]);
  }

  // Calls visit(text, count) for every entry, in unspecified order.
  template <typename Visitor>
  void ForEach(Visitor&& visit) const {
    for (const Slot& slot : slots_) {
      if (slot.key_length != kFreeSlot) visit(KeyOf(slot), slot.count);
    }
  }

 private:
  static constexpr std::uint32_t kFreeSlot = UINT32_MAX;
  static constexpr std::size_t kInlineKey = 16;

  struct alignas(32) Slot {
    std::uint64_t hash = 0;
    std::uint32_t key_length = kFreeSlot;
    std::int32_t count = 0;
    union {
      char inline_key[kInlineKey];  // keys of up to kInlineKey bytes
      std::uint64_t key_offset;     // longer keys: their place in arena_
    };
  };

  const char* KeyData(const Slot& slot) const {
    return slot.key_length <= kInlineKey ? slot.inline_key : arena_.data() + slot.key_offset;
  }
  std::string_view KeyOf(const Slot& slot) const { return {KeyData(slot), slot.key_length}; }
  std::size_t FindSlot(std::string_view text, std::uint64_t hash) const;
  void Rehash(std::size_t capacity);

  std::vector<Slot, HugePageAllocator<Slot>> slots_;  // power-of-two size, at most half full
  std::string arena_;        // the key bytes, back to back
  std::size_t size_ = 0;
};

}  // namespace lumo::typing::text
