// Per-document occurrence counts of string tokens keyed by their 32-bit index
// (MurmurHash3X86_32), laid out so that the counted tokens come out almost in
// index order.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "bm25/indexed_weight.h"
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
    slots_.assign((std::size_t{1} << bits) + kMaxProbe, 0u);
    entries_.assign(1, Entry{});  // entry 0 stands for a free slot
    constexpr std::size_t kAhead = 8;  // the token bytes are usually out of cache
    for (std::size_t position = 0; position < tokens.size(); ++position) {
      if (position + kAhead < tokens.size()) __builtin_prefetch(tokens[position + kAhead].data());
      const std::string_view token = tokens[position];
      const std::uint32_t index = MurmurHash3X86_32(token);
      std::size_t slot = static_cast<std::size_t>(index >> shift);
      const std::size_t last = slot + kMaxProbe;
      while (true) {
        const std::uint32_t held = slots_[slot];
        if (held == 0) {
          slots_[slot] = static_cast<std::uint32_t>(entries_.size());
          entries_.push_back({index, static_cast<std::uint32_t>(position), 1});
          break;
        }
        Entry& entry = entries_[held];
        if (entry.index == index && TokensEqual(tokens[entry.first_position], token)) {
          ++entry.count;
          break;
        }
        if (++slot == last) return false;
      }
    }
    return true;
  }

  // The number of distinct tokens counted.
  std::size_t size() const { return entries_.size() - 1; }

  // Sets out to (index, weigh(count)) for each distinct token, in slot
  // order. Weights are made in first-occurrence order, and the slots are
  // read without a branch on whether each is free: their pattern is random.
  template <typename Weigh>
  void WeighInSlotOrder(Weigh weigh, std::vector<IndexedWeight>& out) {
    weighed_.resize(entries_.size());
    for (std::size_t i = 1; i < entries_.size(); ++i) weighed_[i] = {entries_[i].index, weigh(entries_[i].count)};
    out.resize(entries_.size());  // one past the last, for free slots to write over
    std::size_t next = 0;
    for (const std::uint32_t held : slots_) {
      out[next] = weighed_[held];
      next += held != 0;
    }
    out.resize(next);
  }

  // Lets go of room that a long document grew past kept entries.
  void ReleaseIfLarge(std::size_t kept) {
    if (slots_.capacity() > kept) std::vector<std::uint32_t>().swap(slots_);
    if (entries_.capacity() > kept) std::vector<Entry>().swap(entries_);
    if (weighed_.capacity() > kept) std::vector<IndexedWeight>().swap(weighed_);
  }

 private:
  std::vector<std::uint32_t> slots_;    // entry numbers; 0 marks a free slot
  std::vector<Entry> entries_;          // from 1 on, in first-occurrence order
  std::vector<IndexedWeight> weighed_;  // the entries' weights, numbered alike
};

}  // namespace lumo::typing::text
