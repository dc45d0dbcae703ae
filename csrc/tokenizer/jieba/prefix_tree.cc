#include "tokenizer/jieba/prefix_tree.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

namespace lumo::typing::text::jieba {

namespace {

bool WordLess(const CodePointList& a, const CodePointList& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
}

bool WordEqual(const CodePointList& a, const CodePointList& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

}  // namespace

PrefixTree::PrefixTree() : nodes_(1), node_entries_(1, kNoEntry), keys_(1, 0), root_table_(kRootTableSize, kNoNode) {}

PrefixTree::PrefixTree(const std::vector<DictEntry>& entries) : PrefixTree() {
  entries_ = entries.data();

  // Words in code point order; equal words by list position, of which only
  // the last survives, as repeated insertion would leave it. The sort key
  // packs the first three code points (21 bits each; 0 past the end, where
  // the full comparison decides), so most comparisons stay in the key array.
  struct SortKey {
    std::uint64_t prefix;
    std::uint32_t index;
  };
  std::vector<SortKey> keys;
  keys.reserve(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const CodePointList& word = entries[i].word;
    if (word.empty()) continue;
    std::uint64_t prefix = 0;
    for (std::size_t k = 0; k < 3; ++k) {
      prefix = (prefix << 21) | (k < word.size() ? (word[k] & 0x1FFFFF) : 0);
    }
    keys.push_back(SortKey{prefix, static_cast<std::uint32_t>(i)});
  }
  std::sort(keys.begin(), keys.end(), [&](const SortKey& a, const SortKey& b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    const CodePointList& word_a = entries[a.index].word;
    const CodePointList& word_b = entries[b.index].word;
    if (WordLess(word_a, word_b)) return true;
    if (WordLess(word_b, word_a)) return false;
    return a.index < b.index;
  });

  // The surviving words copied into one flat array in sorted order, so that
  // the build below reads memory front to back.
  std::vector<std::uint32_t> order;       // entry index per surviving word
  std::vector<std::uint32_t> starts{0};  // word k is letters[starts[k], starts[k + 1])
  std::vector<Rune> letters;
  order.reserve(keys.size());
  starts.reserve(keys.size() + 1);
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const CodePointList& word = entries[keys[i].index].word;
    if (i + 1 < keys.size() && keys[i].prefix == keys[i + 1].prefix &&
        WordEqual(word, entries[keys[i + 1].index].word)) {
      continue;
    }
    order.push_back(keys[i].index);
    letters.insert(letters.end(), word.begin(), word.end());
    starts.push_back(static_cast<std::uint32_t>(letters.size()));
  }
  keys = {};
  auto word_size = [&](std::uint32_t k) { return starts[k + 1] - starts[k]; };
  auto letter = [&](std::uint32_t k, std::uint32_t depth) { return letters[starts[k] + depth]; };

  // Breadth first: node k stands for the words [lo, hi) that share their
  // first depth code points; its children are appended together, so they end
  // up contiguous and, since the words are sorted, in code point order.
  struct Span {
    std::uint32_t lo;
    std::uint32_t hi;
    std::uint32_t depth;
  };
  std::vector<Span> spans{Span{0, static_cast<std::uint32_t>(order.size()), 0}};
  spans.reserve(letters.size() + 1);
  nodes_.reserve(letters.size() + 1);
  node_entries_.reserve(letters.size() + 1);
  keys_.reserve(letters.size() + 1);
  for (std::size_t k = 0; k < nodes_.size(); ++k) {
    auto [lo, hi, depth] = spans[k];
    if (lo < hi && word_size(lo) == depth) {
      node_entries_[k] = order[lo];  // the shortest word sorts first; it ends here
      nodes_[k].counted_children |= kHasEntry;
      nodes_[k].weight = entries[order[lo]].weight;
      ++lo;
    }
    const auto first_child = static_cast<std::uint32_t>(nodes_.size());
    while (lo < hi) {
      const Rune code_point = letter(lo, depth);
      std::uint32_t group_end = lo + 1;
      while (group_end < hi && letter(group_end, depth) == code_point) ++group_end;
      nodes_.push_back(Node{});
      node_entries_.push_back(kNoEntry);
      keys_.push_back(code_point);
      spans.push_back(Span{lo, group_end, depth + 1});
      lo = group_end;
    }
    nodes_[k].first_child = first_child;
    nodes_[k].counted_children |= static_cast<std::uint32_t>(nodes_.size()) - first_child;
  }
  nodes_.shrink_to_fit();
  node_entries_.shrink_to_fit();
  keys_.shrink_to_fit();

  const Node& root = nodes_[0];
  for (std::uint32_t child = root.first_child; child < root.first_child + root.ChildCount(); ++child) {
    if (keys_[child] < kRootTableSize) root_table_[keys_[child]] = child;
  }

  // Child tables for the nodes of many children, at most half full.
  for (Node& node : nodes_) {
    const std::uint32_t count = node.ChildCount();
    if (count <= kLinearScanLimit) continue;
    std::uint32_t size = 2 * kLinearScanLimit;
    while (size < 2 * count) size *= 2;
    const auto start = static_cast<std::uint32_t>(child_slots_.size());
    child_slots_.resize(child_slots_.size() + size);
    ChildSlot* table = child_slots_.data() + start;
    for (std::uint32_t child = node.first_child; child < node.first_child + count; ++child) {
      std::uint32_t slot = HomeSlot(keys_[child], size - 1);
      while (table[slot].key != kVacantKey) slot = (slot + 1) & (size - 1);
      table[slot] = ChildSlot{keys_[child], child};
    }
    node.first_child = start;
    node.counted_children = (node.counted_children & kHasEntry) | size;
  }
  child_slots_.shrink_to_fit();
  PlaceHotNodesFirst();
}

void PrefixTree::PlaceHotNodesFirst() {
  const std::size_t count = nodes_.size();
  // Calls on_child(child) for each child of node, by the node's own layout.
  const auto for_each_child = [this](const Node& node, auto&& on_child) {
    const std::uint32_t size = node.ChildCount();
    if (size > kLinearScanLimit) {
      for (std::uint32_t slot = 0; slot < size; ++slot) {
        const ChildSlot& child = child_slots_[node.first_child + slot];
        if (child.key != kVacantKey) on_child(child.node);
      }
    } else {
      for (std::uint32_t child = node.first_child; child < node.first_child + size; ++child) on_child(child);
    }
  };

  // How often a walk passes a node, estimated by the probability of the words
  // below it. Children come after their parent, so one backward pass sums.
  // Single precision is plenty: the masses only sort coarsely below.
  std::vector<float> mass(count, 0.0f);
  {
    std::vector<std::uint32_t> parents(count, 0);
    for (std::uint32_t k = 0; k < count; ++k) {
      for_each_child(nodes_[k], [&](std::uint32_t child) { parents[child] = k; });
    }
    for (std::size_t k = count; k-- > 1;) {
      if (nodes_[k].HasEntry()) {
        const auto probability = static_cast<float>(std::exp(nodes_[k].weight));
        if (probability >= 0.0f) mass[k] += probability;  // not NaN
      }
      mass[parents[k]] += mass[k];
    }
  }

  // Units of placement: each child of a hashed node alone, the children of a
  // scanned node together (they must stay contiguous), hottest first. The
  // order only needs to be coarse: units go by the binary exponent of their
  // mass (a counting sort, stable in node order), the massless ones last.
  constexpr int kLastBucket = 64;
  const auto bucket_of = [](float unit_mass) {
    return unit_mass > 0.0f ? std::clamp(-std::ilogb(unit_mass), 0, kLastBucket - 1) : kLastBucket;
  };
  struct Unit {
    std::uint32_t first;
    std::uint32_t size;
    int bucket;
  };
  std::vector<Unit> units;
  std::vector<std::uint32_t> bucket_sizes(kLastBucket + 1, 0);
  const auto add_unit = [&](std::uint32_t first, std::uint32_t size, float unit_mass) {
    units.push_back(Unit{first, size, bucket_of(unit_mass)});
    bucket_sizes[units.back().bucket] += size;
  };
  for (std::uint32_t k = 0; k < count; ++k) {
    const Node& node = nodes_[k];
    if (node.ChildCount() > kLinearScanLimit) {
      for_each_child(node, [&](std::uint32_t child) { add_unit(child, 1, mass[child]); });
    } else if (node.ChildCount() > 0) {
      float hottest = 0.0f;
      for_each_child(node, [&](std::uint32_t child) { hottest = std::max(hottest, mass[child]); });
      add_unit(node.first_child, node.ChildCount(), hottest);
    }
  }
  std::vector<float>().swap(mass);
  std::vector<std::uint32_t> bucket_next(kLastBucket + 1, 1);  // the root stays first
  for (int b = 1; b <= kLastBucket; ++b) bucket_next[b] = bucket_next[b - 1] + bucket_sizes[b - 1];
  std::vector<std::uint32_t> placed(count, 0);  // old index -> new index
  for (const Unit& unit : units) {
    for (std::uint32_t k = 0; k < unit.size; ++k) placed[unit.first + k] = bucket_next[unit.bucket]++;
  }
  std::vector<Unit>().swap(units);

  // Every reference to a node takes its new index, then the node arrays are
  // moved to their new order one at a time, so that at most one of them is
  // held twice.
  for (Node& node : nodes_) {
    const std::uint32_t size = node.ChildCount();
    if (size > 0 && size <= kLinearScanLimit) node.first_child = placed[node.first_child];
  }
  for (ChildSlot& slot : child_slots_) {
    if (slot.key != kVacantKey) slot.node = placed[slot.node];
  }
  for (std::uint32_t& node : root_table_) {
    if (node != kNoNode) node = placed[node];
  }
  const auto reorder = [&placed, count](auto& values) {
    std::remove_reference_t<decltype(values)> moved(count);
    for (std::size_t k = 0; k < count; ++k) moved[placed[k]] = values[k];
    values.swap(moved);
  };
  reorder(nodes_);
  reorder(node_entries_);
  reorder(keys_);
}

const DictEntry* PrefixTree::Find(const DecodedRune* begin, const DecodedRune* end) const {
  if (begin == end) return nullptr;
  std::uint32_t node = RootChild(begin->code_point);
  for (const DecodedRune* rune = begin + 1; node != kNoNode && rune != end; ++rune) {
    node = Child(node, rune->code_point);
  }
  return node == kNoNode ? nullptr : EntryOf(node);
}

const DictEntry* PrefixTree::Find(const Rune* begin, const Rune* end) const {
  if (begin == end) return nullptr;
  std::uint32_t node = RootChild(*begin);
  for (const Rune* rune = begin + 1; node != kNoNode && rune != end; ++rune) node = Child(node, *rune);
  return node == kNoNode ? nullptr : EntryOf(node);
}

void PrefixTree::FillLattice(const DecodedRune* begin, const DecodedRune* end, std::vector<LatticeCell>& cells,
                             std::size_t max_word_runes) const {
  const auto n = static_cast<std::size_t>(end - begin);
  cells.clear();
  cells.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    InlineVector<LatticeCandidate>& candidates = cells[i].candidates;
    std::uint32_t node = RootChild(begin[i].code_point);
    if (node == kNoNode) {
      candidates.push_back(LatticeCandidate{i, nullptr});
      continue;
    }
    candidates.push_back(LatticeCandidate{i, EntryOf(node)});
    // The word i..j has j - i + 1 runes, at most max_word_runes.
    const std::size_t stop = max_word_runes >= n - i ? n : i + max_word_runes;
    for (std::size_t j = i + 1; j < stop; ++j) {
      if (nodes_[node].ChildCount() == 0) break;
      node = Child(node, begin[j].code_point);
      if (node == kNoNode) break;
      if (nodes_[node].HasEntry()) candidates.push_back(LatticeCandidate{j, entries_ + node_entries_[node]});
    }
  }
}

}  // namespace lumo::typing::text::jieba
