// The model's corpus table: token text to its total number of occurrences.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lumo::typing::text {

// An open-addressing hash table from token text (bytes) to a signed 32-bit
// count. Keys are copied into one append-only byte arena; slots refer to them
// by offset, so growing the table never moves a key. Entries are never
// removed. Lookups take the caller's hash (HashTokenText of the key), so a
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

  // Calls visit(text, count) for every entry, in unspecified order.
  template <typename Visitor>
  void ForEach(Visitor&& visit) const {
    for (const Slot& slot : slots_) {
      if (slot.key_length != kFreeSlot) visit(KeyOf(slot), slot.count);
    }
  }

 private:
  static constexpr std::uint32_t kFreeSlot = UINT32_MAX;

  struct Slot {
    std::uint64_t hash = 0;
    std::uint64_t key_offset = 0;
    std::uint32_t key_length = kFreeSlot;
    std::int32_t count = 0;
  };

  std::string_view KeyOf(const Slot& slot) const {
    return {arena_.data() + slot.key_offset, slot.key_length};
  }
  std::size_t FindSlot(std::string_view text, std::uint64_t hash) const;
  void Rehash(std::size_t capacity);

  std::vector<Slot> slots_;  // power-of-two size, at most half full
  std::string arena_;        // the key bytes, back to back
  std::size_t size_ = 0;
};

}  // namespace lumo::typing::text
