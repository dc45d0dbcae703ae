// Per-call occurrence counts of the tokens of one document or query.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "bm25/token_hash.h"

namespace lumo::typing::text {

inline std::uint64_t HashToken(std::string_view token) { return HashTokenText(token); }
inline std::uint64_t HashToken(std::int64_t token) { return HashTokenId(token); }

// Counts the distinct tokens of a token list (string views or integer ids) in
// an open-addressing table built for that one list. The counter keeps a view
// of the list, which must outlive it; each token is hashed exactly once and
// the hash is kept with its entry for the caller's next table. A list of up
// to kInlineTokens tokens (a typical query) is counted in storage inside the
// counter, without allocating.
template <typename Token>
class TokenCounter {
 public:
  struct Entry {
    std::uint64_t hash;
    std::size_t first_position;  // index of the token's first occurrence
    std::int64_t count;          // occurrences in the list, at least 1
  };

  static constexpr std::size_t kInlineTokens = 16;

  // Heap room for counting lists longer than kInlineTokens, kept by a caller
  // that counts list after list so that only the longest list allocates.
  struct Room {
    std::vector<std::uint32_t> slots;
    std::vector<Entry> entries;
  };

  // Throws std::length_error for a list of 2^32 - 1 tokens or more. A list
  // longer than kInlineTokens is counted in room when given (it must outlive
  // the counter and serve no other counter meanwhile), else in storage of
  // the counter's own.
  explicit TokenCounter(std::span<const Token> tokens, Room* room = nullptr)
      : TokenCounter(tokens, room, [](std::uint64_t) {}) {}

  // As above, calling on_new(hash) for each distinct token as it is found,
  // so that a caller can start loading what it will look the token up in
  // while the rest of the list is counted.
  template <typename OnNew>
  TokenCounter(std::span<const Token> tokens, Room* room, OnNew on_new) : tokens_(tokens) {
    if (tokens.size() >= UINT32_MAX) throw std::length_error("token list too long");
    const std::size_t capacity = SlotCount(tokens.size());
    if (tokens.size() <= kInlineTokens) {
      Count(inline_slots_, capacity, inline_entries_, on_new);
    } else if (room != nullptr) {
      if (room->slots.size() < capacity) room->slots.resize(capacity);
      if (room->entries.size() < tokens.size()) room->entries.resize(tokens.size());
      Count(room->slots.data(), capacity, room->entries.data(), on_new);
    } else {
      heap_slots_.reset(new std::uint32_t[capacity]);
      heap_entries_.reset(new Entry[tokens.size()]);  // left unset: filled in order below
      Count(heap_slots_.get(), capacity, heap_entries_.get(), on_new);
    }
  }

  // Not movable: entries_ may point into the counter itself.
  TokenCounter(const TokenCounter&) = delete;
  TokenCounter& operator=(const TokenCounter&) = delete;

  // The distinct tokens, in the order of their first occurrence.
  std::span<const Entry> entries() const { return {entries_, size_}; }

  const Token& token(const Entry& entry) const { return tokens_[entry.first_position]; }

 private:
  // A power of two at least twice size, and at least 8.
  static std::size_t SlotCount(std::size_t size) {
    std::size_t capacity = 8;
    while (capacity < size * 2) capacity *= 2;
    return capacity;
  }

  // Counts tokens_ into capacity slots (a power of two above twice the list
  // length) and the entries, which have room for one per token.
  template <typename OnNew>
  void Count(std::uint32_t* slots, std::size_t capacity, Entry* entries, OnNew& on_new) {
    entries_ = entries;
    std::fill(slots, slots + capacity, 0u);
    const std::size_t mask = capacity - 1;
    for (std::size_t position = 0; position < tokens_.size(); ++position) {
      const Token& token = tokens_[position];
      const std::uint64_t hash = HashToken(token);
      std::size_t slot = hash & mask;
      while (true) {
        const std::uint32_t index = slots[slot];
        if (index == 0) {
          entries_[size_++] = {hash, position, 1};
          slots[slot] = static_cast<std::uint32_t>(size_);
          on_new(hash);
          break;
        }
        Entry& entry = entries_[index - 1];
        if (entry.hash == hash && TokensEqual(tokens_[entry.first_position], token)) {
          ++entry.count;
          break;
        }
        slot = (slot + 1) & mask;
      }
    }
  }

  std::span<const Token> tokens_;
  Entry* entries_;
  std::size_t size_ = 0;
  // Slots hold an index into the entries plus 1; 0 marks a free slot.
  std::uint32_t inline_slots_[2 * kInlineTokens];
  Entry inline_entries_[kInlineTokens];
  std::unique_ptr<std::uint32_t[]> heap_slots_;
  std::unique_ptr<Entry[]> heap_entries_;
};

}  // namespace lumo::typing::text
