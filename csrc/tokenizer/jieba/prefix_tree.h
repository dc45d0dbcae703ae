// The prefix tree of the dictionary, frozen after one build: every node in one
// array, the children of a node stored next to each other and sorted by code
// point, and the root's children of the Basic Multilingual Plane in a direct
// table. A node with more children than a short scan covers also gets a small
// open-addressed table of (code point, child) pairs, so that finding one of
// its children costs one probe, not a binary search over its keys. It answers
// exactly what a tree of per-node hash maps would.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "tokenizer/jieba/dict_entry.h"
#include "tokenizer/jieba/lattice_cell.h"
#include "tokenizer/jieba/rune.h"

namespace lumo::typing::text::jieba {

class PrefixTree {
 public:
  // An empty tree: every lookup misses.
  PrefixTree();
  // The tree points into the entry list it was built over, never into itself,
  // so copying and moving are plain.
  PrefixTree(const PrefixTree&) = default;
  PrefixTree& operator=(const PrefixTree&) = default;
  PrefixTree(PrefixTree&&) noexcept = default;
  PrefixTree& operator=(PrefixTree&&) noexcept = default;

  // Builds the tree over every entry of entries, as if each non-empty word
  // were inserted in list order (so the later of two equal words wins).
  // Entries with an empty word are skipped. entries must not change or move
  // while the tree is used.
  explicit PrefixTree(const std::vector<DictEntry>& entries);

  // The entry of exactly the runes [begin, end), or null (also for an empty run
  // and for a proper prefix of a word).
  const DictEntry* Find(const DecodedRune* begin, const DecodedRune* end) const;
  const DictEntry* Find(const Rune* begin, const Rune* end) const;

  // Calls on_word(j, entry) for every candidate of the lattice cell of
  // runes[0] over the runes [0, size): first the single-rune candidate (j = 0,
  // entry null when the rune alone is no word), then every word of at most
  // max_word_runes runes, by rising last position j. size is at least 1.
  template <typename OnWord>
  void ForEachWordAt(const Rune* runes, std::size_t size, std::size_t max_word_runes, OnWord&& on_word) const {
    std::uint32_t node = RootChild(runes[0]);
    if (node == kNoNode) {
      on_word(std::size_t{0}, static_cast<const DictEntry*>(nullptr));
      return;
    }
    on_word(std::size_t{0}, EntryOf(node));
    const std::size_t stop = std::min(size, max_word_runes);
    for (std::size_t j = 1; j < stop; ++j) {
      if (nodes_[node].ChildCount() == 0) break;
      node = Child(node, runes[j]);
      if (node == kNoNode) break;
      if (nodes_[node].HasEntry()) on_word(j, entries_ + node_entries_[node]);
    }
  }

  // The walk of ForEachWordAt giving each candidate's weight instead of its
  // entry: on_word(j, weight), with no_entry_weight for a single rune that is
  // no word. Reads the nodes only, never the entries.
  template <typename OnWord>
  void ForEachWeightAt(const Rune* runes, std::size_t size, std::size_t max_word_runes, double no_entry_weight,
                       OnWord&& on_word) const {
    std::uint32_t node = RootChild(runes[0]);
    if (node == kNoNode) {
      on_word(std::size_t{0}, no_entry_weight);
      return;
    }
    const Node* current = &nodes_[node];
    on_word(std::size_t{0}, current->HasEntry() ? current->weight : no_entry_weight);
    const std::size_t stop = std::min(size, max_word_runes);
    for (std::size_t j = 1; j < stop; ++j) {
      if (current->ChildCount() == 0) break;
      node = Child(node, runes[j]);
      if (node == kNoNode) break;
      current = &nodes_[node];
      if (current->HasEntry()) on_word(j, current->weight);
    }
  }

  // Replaces cells by one cell per rune of [begin, end): the single-rune
  // candidate first (entry null when the rune alone is no word), then every
  // word of at most max_word_runes runes starting there, by rising end.
  void FillLattice(const DecodedRune* begin, const DecodedRune* end, std::vector<LatticeCell>& cells,
                   std::size_t max_word_runes) const;

  // Starts loading the root child of code_point: the first read of a walk
  // from a rune of that code point. A hint only; the best-path pass calls it
  // a few positions ahead of its walk.
  void Prefetch(Rune code_point) const {
    if (code_point >= kRootTableSize) return;
    const std::uint32_t node = root_table_[code_point];
    if (node != kNoNode) __builtin_prefetch(&nodes_[node]);
  }

 private:
  static constexpr std::uint32_t kNoNode = 0;  // the root is never a child
  static constexpr std::uint32_t kNoEntry = UINT32_MAX;
  static constexpr std::uint32_t kRootTableSize = 0x10000;

  // A node as the lattice walk reads it: where its children are, and the
  // weight of the entry that ends here, both in one 16-byte record. Which
  // entry ends here is kept aside in node_entries_, for the lookups that need
  // the entry itself. A node of at most kLinearScanLimit children keeps their
  // count, and first_child is the first of them in nodes_ (and keys_); a node
  // of more keeps the size of its child table (a power of two above
  // kLinearScanLimit), and first_child is where that table starts in
  // child_slots_.
  static constexpr std::uint32_t kHasEntry = 0x80000000u;  // flag in counted_children
  struct Node {
    std::uint32_t first_child = 0;       // first child in nodes_, or first slot in child_slots_
    std::uint32_t counted_children = 0;  // child count or table size, with kHasEntry when a word ends here
    double weight = 0.0;                 // the weight of that word's entry
    std::uint32_t ChildCount() const { return counted_children & ~kHasEntry; }
    bool HasEntry() const { return (counted_children & kHasEntry) != 0; }
  };

  // Children lists up to this length are scanned; longer ones are hashed.
  static constexpr std::uint32_t kLinearScanLimit = 8;

  // One slot of a node's child table: a child's code point and node, or
  // kVacantKey (no code point decodes to it) in a vacant slot.
  static constexpr Rune kVacantKey = UINT32_MAX;
  struct ChildSlot {
    Rune key = kVacantKey;
    std::uint32_t node = kNoNode;
  };

  // The home slot of code_point in a child table of size mask + 1.
  static std::uint32_t HomeSlot(Rune code_point, std::uint32_t mask) {
    return static_cast<std::uint32_t>((code_point * 0x9E3779B97F4A7C15ull) >> 32) & mask;
  }

  // The child of node for code_point, or kNoNode. Inline: it is the step of
  // every lattice walk.
  std::uint32_t Child(std::uint32_t node, Rune code_point) const {
    const Node& parent = nodes_[node];
    const std::uint32_t count = parent.ChildCount();
    if (count > kLinearScanLimit) {
      // Linear probing in a table at most half full: one or two slots.
      const ChildSlot* table = child_slots_.data() + parent.first_child;
      const std::uint32_t mask = count - 1;
      for (std::uint32_t slot = HomeSlot(code_point, mask);; slot = (slot + 1) & mask) {
        if (table[slot].key == code_point) return table[slot].node;
        if (table[slot].key == kVacantKey) return kNoNode;
      }
    }
    const Rune* first = keys_.data() + parent.first_child;
    for (std::uint32_t k = 0; k < count; ++k) {
      if (first[k] == code_point) return parent.first_child + k;
    }
    return kNoNode;
  }
  // Renumbers the nodes so that the nodes most walks pass lie together at the
  // front of nodes_ (fewer cache lines for the common words); the children of
  // a scanned node stay contiguous.
  void PlaceHotNodesFirst();

  std::uint32_t RootChild(Rune code_point) const {
    return code_point < kRootTableSize ? root_table_[code_point] : Child(0, code_point);
  }
  const DictEntry* EntryOf(std::uint32_t node) const {
    const std::uint32_t entry = node_entries_[node];
    return entry == kNoEntry ? nullptr : entries_ + entry;
  }

  const DictEntry* entries_ = nullptr;
  std::vector<Node> nodes_;              // node 0 is the root; the children of a scanned node are contiguous
  std::vector<std::uint32_t> node_entries_;  // node_entries_[k]: index into entries_, or kNoEntry
  std::vector<Rune> keys_;               // keys_[k]: the code point that leads to node k
  std::vector<ChildSlot> child_slots_;   // the child tables of nodes of many children, one after another
  std::vector<std::uint32_t> root_table_;  // code point below 0x10000 -> root child, or kNoNode
};

}  // namespace lumo::typing::text::jieba
