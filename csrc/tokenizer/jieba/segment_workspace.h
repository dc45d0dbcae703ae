// The working memory of one sentence operation: the decoded runes of the
// range being segmented, the per-rune tables of the range algorithms, and the
// sink that turns word positions into byte slices of the sentence.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "tokenizer/jieba/rune.h"
#include "tokenizer/jieba/word_record.h"

namespace lumo::typing::text::jieba {

// The runes of one pre-filter range: code points, and the byte offset in the
// sentence of each rune plus one past the last (size + 1 offsets), so that
// the bytes of rune k are [byte_offsets[k], byte_offsets[k + 1]).
struct RangeText {
  const Rune* runes = nullptr;
  const std::uint32_t* byte_offsets = nullptr;
  std::size_t size = 0;
};

// Receives the words of one range as inclusive rune positions of that range
// and appends them to the sentence's slice list.
class WordSink {
 public:
  WordSink(const std::uint32_t* byte_offsets, std::vector<WordSlice>& slices)
      : byte_offsets_(byte_offsets), slices_(slices) {}

  void Add(std::size_t first, std::size_t last) {
    const std::uint32_t begin = byte_offsets_[first];
    slices_.push_back(WordSlice{begin, byte_offsets_[last + 1] - begin});
  }

  // The words of a range of `size` runes given as word lengths: the word at
  // position i is lengths[i] runes long, and the next one starts after it.
  void AddLengths(const std::uint32_t* lengths, std::size_t size) {
    for (std::size_t i = 0; i < size; i += lengths[i]) Add(i, i + lengths[i] - 1);
  }

 private:
  const std::uint32_t* byte_offsets_;
  std::vector<WordSlice>& slices_;
};

// Per-thread buffers, reused from range to range and sentence to sentence so
// that a short sentence costs no heap allocation. Each holds at most one
// entry per rune of the longest range, so a cut needs
//   4 (code point) + 4 (byte offset) + 4 (word length) + 1 (HMM back-pointers)
// = 13 bytes per rune besides its result. One policy for all of them: after
// a sentence that made them larger than kKeptRunes entries, they are freed.
class SegmentWorkspace {
 public:
  static constexpr std::size_t kKeptRunes = std::size_t{1} << 16;

  // Out of line on purpose: inlined, the compiler recomputes the thread-local
  // address (a call into the dynamic loader, in a shared library) at every
  // use of a buffer in the hot loops instead of keeping the reference.
  static SegmentWorkspace& OfThisThread();

  // Room for the decoded range that the pre-filter fills, at least size
  // entries each.
  Rune* Runes(std::size_t size) { return Sized(runes_, size); }
  std::uint32_t* ByteOffsets(std::size_t size) { return Sized(byte_offsets_, size); }

  // The length of the word that starts at each position of the range (valid
  // at word starts only), at least size entries.
  std::uint32_t* WordLengths(std::size_t size) { return Sized(word_lengths_, size); }
  // One byte per rune for the HMM decoder's back-pointers and states.
  std::uint8_t* StateBytes(std::size_t size) { return Sized(state_bytes_, size); }

  void ReleaseIfLarge() {
    if (runes_.capacity() <= kKeptRunes && word_lengths_.capacity() <= kKeptRunes &&
        state_bytes_.capacity() <= kKeptRunes) {
      return;
    }
    std::vector<Rune>().swap(runes_);
    std::vector<std::uint32_t>().swap(byte_offsets_);
    std::vector<std::uint32_t>().swap(word_lengths_);
    std::vector<std::uint8_t>().swap(state_bytes_);
  }

 private:
  // Grows to at least size entries, without keeping old contents: doubling
  // while small, so that rising range lengths reallocate rarely, and to
  // exactly size beyond kKeptRunes, so that one long range gets no slack.
  template <typename T>
  static T* Sized(std::vector<T>& table, std::size_t size) {
    if (table.size() < size) {
      const std::size_t grown = std::max(size, std::min(2 * table.size(), kKeptRunes));
      std::vector<T>().swap(table);
      table.resize(grown);
    }
    return table.data();
  }

  std::vector<Rune> runes_;
  std::vector<std::uint32_t> byte_offsets_;
  std::vector<std::uint32_t> word_lengths_;
  std::vector<std::uint8_t> state_bytes_;
};

}  // namespace lumo::typing::text::jieba
