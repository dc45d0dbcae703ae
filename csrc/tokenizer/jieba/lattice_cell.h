// The per-rune record of the word lattice over a stretch of text.
#pragma once

#include <cstdint>

#include "tokenizer/jieba/dict_entry.h"
#include "tokenizer/jieba/inline_vector.h"

namespace lumo::typing::text::jieba {

// The runes from the cell's position to end (inclusive, relative to the
// stretch) form the word of entry; entry is null for a single rune that is no
// dictionary word (then end equals the position).
struct LatticeCandidate {
  std::uint64_t end = 0;
  const DictEntry* entry = nullptr;
};

struct LatticeCell {
  // User-provided so that building a lattice does not zero every cell's
  // inside room first (value-initialisation would).
  LatticeCell() noexcept {}

  InlineVector<LatticeCandidate> candidates;  // single-rune candidate first, then by rising end
  const DictEntry* best_entry = nullptr;      // filled by the max-probability segmenter
  double best_weight = 0.0;                   // filled by the max-probability segmenter
};

}  // namespace lumo::typing::text::jieba
