// Per-document occurrence counts of string tokens keyed by their 32-bit index
// (MurmurHash3X86_32), laid out so that the counted tokens come out almost in
// index order.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "bm25/indexed_weight.h"
#include "bm25/kept_room.h"
#include "bm25/murmur_hash3.h"
#include "bm25/token_hash.h"

namespace lumo::typing::text {

// An open-addressing table whose home slot for a token is the top bits of
// its index, probed forward with no wrap-around: reading the slots in order
// gives the distinct tokens sorted by index except within the runs of
// neighbouring slots that probing fills, so a short insertion sort finishes
// the order. The index is both the hash and the sort key, so each token is
// hashed once and no separate sort runs. Tokens that share an index keep the
// order of their first occurrence, since a later one probes past an earlier.
//
// The index is a public function of the token, so tokens can be chosen to
// share the top bits of their indices; a probe longer than kMaxProbe makes
// Count give up, and the caller counts with its keyed hash instead. That
// bounds the work of any document at kMaxProbe probes a token.
class IndexCounter {
 public:
  struct Entry {
    std::uint32_t index;
    std::uint32_t first_position;
    std::int64_t count;
  };

  static constexpr std::size_t kMaxProbe = 32;

  // Counts tokens (fewer than 2^32 - 1, which the caller checks); false when
  // a probe ran past kMaxProbe slots, the counts then being incomplete.
  bool Count(std::span<const std::string_view> tokens) {
    int bits = 4;
    while ((std::size_t{1} << bits) < 2 * tokens.size()) ++bits;
    const int shift = 32 - bits;
    const std::size_t slot_count = (std::size_t{1} << bits) + kMaxProbe;
    // A slot's entry number counts only where its bit is set, so the slots
    // need no clearing.
    if (slots_.size() < slot_count) slots_.resize(slot_count);
    occupied_.assign((slot_count + 63) / 64, 0);
    entries_.clear();
    entries_.reserve(tokens.size());
    constexpr std::size_t kAhead = 8;  // the token bytes are usually out of cache
    for (std::size_t position = 0; position < tokens.size(); ++position) {
      if (position + kAhead < tokens.size()) __builtin_prefetch(tokens[position + kAhead].data());
      const std::string_view token = tokens[position];
      const std::uint32_t index = MurmurHash3X86_32(token);
      std::size_t slot = static_cast<std::size_t>(index >> shift);
      const std::size_t last = slot + kMaxProbe;
      while (true) {
        std::uint64_t& word = occupied_[slot / 64];
        const std::uint64_t bit = std::uint64_t{1} << (slot % 64);
        if ((word & bit) == 0) {
          word |= bit;
          slots_[slot] = static_cast<std::uint32_t>(entries_.size());
          entries_.push_back({index, static_cast<std::uint32_t>(position), 1});
          break;
        }
        Entry& entry = entries_[slots_[slot]];
        if (entry.index == index && TokensEqual(tokens[entry.first_position], token)) {
          ++entry.count;
          break;
        }
        if (++slot == last) return false;
      }
    }
    return true;
  }

  // Sets out to (index, weigh(count)) for each distinct token, in slot
  // order, found through the bits of the occupied slots: testing each slot
  // would branch at random.
  template <typename Weigh>
  void WeighInSlotOrder(Weigh weigh, std::vector<IndexedWeight>& out) const {
    out.clear();
    for (std::size_t word = 0; word < occupied_.size(); ++word) {
      for (std::uint64_t bits = occupied_[word]; bits != 0; bits &= bits - 1) {
        const Entry& entry = entries_[slots_[word * 64 + std::countr_zero(bits)]];
        out.push_back({entry.index, weigh(entry.count)});
      }
    }
  }

  // Lets go of room that a long document grew.
  void ReleaseIfLarge() {
    typing::text::ReleaseIfLarge(slots_);
    typing::text::ReleaseIfLarge(entries_);
  }

 private:
  std::vector<std::uint32_t> slots_;     // entry numbers, where occupied_ has the slot's bit
  std::vector<Entry> entries_;           // in first-occurrence order
  std::vector<std::uint64_t> occupied_;  // a bit per slot
};

}  // namespace lumo::typing::text
