// Numbers the distinct words of a cut (a long text, or a batch per worker),
// so that the result holds one str object per distinct word instead of one
// per occurrence. Open addressing over 32-byte slots that keep, for a word of
// up to 16 bytes (nearly every Chinese word), a key that is the word itself:
// a probe compares two integers in the slot and neither calls a byte hash nor
// chases the word into the text it came from, which is usually out of cache
// by then.
#pragma once

#include <Python.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string_view>
#include <vector>

namespace lumo::bindings {

class WordTable {
 public:
  // Room for about expected_words distinct words (at most kMaxInitialSlots / 2)
  // before the first growth.
  explicit WordTable(std::size_t expected_words = 512) : slots_(SlotsFor(expected_words)) {}

  // The number of word: its index in Words(), given on first sight; counts
  // the use. The bytes are not copied; they must outlive the table.
  [[gnu::always_inline]] std::uint32_t Intern(std::string_view word) {
    const Key key = KeyOf(word);
    const std::uint64_t hash = HashOf(key, word);
    for (std::size_t mask = slots_.size() - 1, at = hash & mask;; at = (at + 1) & mask) {
      Slot& slot = slots_[at];
      if (slot.number == kEmpty) return Add(slot, key, hash, word);
      if (slot.key.low == key.low && slot.key.high == key.high && slot.length == word.size() &&
          (word.size() <= kKeyBytes || words_[slot.number] == word)) {
        ++uses_[slot.number];
        return slot.number;
      }
    }
  }

  // Every distinct word, by number.
  const std::vector<std::string_view>& Words() const { return words_; }
  // How many times each word was interned, by number.
  const std::vector<std::uint64_t>& Uses() const { return uses_; }

 private:
  static constexpr std::uint32_t kEmpty = UINT32_MAX;
  static constexpr std::size_t kMinSlots = 16;  // powers of two
  static constexpr std::size_t kMaxInitialSlots = std::size_t{1} << 16;
  static constexpr std::size_t kKeyBytes = 16;

  // Two integers that, with the length, are the word when it has at most
  // kKeyBytes bytes: loads from its start and its end that together cover
  // every byte (overlapping for lengths between the load sizes), so no load
  // reads outside the word. A longer word keeps its first 16 bytes.
  struct Key {
    std::uint64_t low;
    std::uint64_t high;
  };

  struct Slot {
    Key key{};
    std::uint32_t number = kEmpty;
    std::uint32_t length = 0;
    std::uint64_t hash = 0;
  };
  static_assert(sizeof(Slot) == 32);

  template <typename Integer>
  static Integer Load(const char* at) {
    Integer value;
    std::memcpy(&value, at, sizeof(value));
    return value;
  }

  static Key KeyOf(std::string_view word) {
    const char* bytes = word.data();
    const std::size_t size = word.size();
    if (size >= 8) return {Load<std::uint64_t>(bytes), Load<std::uint64_t>(bytes + (size <= kKeyBytes ? size - 8 : 8))};
    if (size >= 4) return {Load<std::uint32_t>(bytes), Load<std::uint32_t>(bytes + size - 4)};
    if (size == 0) return {0, 0};
    const auto byte = [&](std::size_t k) { return static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[k])); };
    return {byte(0) | byte(size / 2) << 8 | byte(size - 1) << 16, 0};
  }

  static std::uint64_t HashOf(const Key& key, std::string_view word) {
    if (word.size() > kKeyBytes) return std::hash<std::string_view>{}(word);
    const std::uint64_t mixed = (key.low ^ word.size()) * 0x9E3779B97F4A7C15ull ^ key.high * 0xC2B2AE3D27D4EB4Full;
    return mixed ^ (mixed >> 29);
  }

  static std::size_t SlotsFor(std::size_t words) {
    std::size_t slots = kMinSlots;
    while (slots < 2 * words && slots < kMaxInitialSlots) slots *= 2;
    return slots;
  }

  std::uint32_t Add(Slot& slot, const Key& key, std::uint64_t hash, std::string_view word) {
    const auto number = static_cast<std::uint32_t>(words_.size());
    slot.key = key;
    slot.number = number;
    slot.length = static_cast<std::uint32_t>(word.size());
    slot.hash = hash;
    words_.push_back(word);
    uses_.push_back(1);
    if (2 * words_.size() > slots_.size()) Grow();  // load factor at most one half
    return number;
  }

  void Grow() {
    std::vector<Slot> old(slots_.size() * 2);
    old.swap(slots_);
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
      if (slot.number == kEmpty) continue;
      std::size_t at = slot.hash & mask;
      while (slots_[at].number != kEmpty) at = (at + 1) & mask;
      slots_[at] = slot;
    }
  }

  std::vector<Slot> slots_;
  std::vector<std::string_view> words_;
  std::vector<std::uint64_t> uses_;
};

// Gives each str of objects (by word number) the references its uses will
// hold, in one change per distinct word: the caller then stores the pointers
// into lists without touching the objects, and must store exactly that many.
inline void AddUseReferences(const std::vector<pybind11::object>& objects, const std::vector<std::uint64_t>& uses) {
  for (std::size_t n = 0; n < uses.size(); ++n) {
    PyObject* word = objects[n].ptr();
    Py_SET_REFCNT(word, Py_REFCNT(word) + static_cast<Py_ssize_t>(uses[n]));
  }
}

}  // namespace lumo::bindings
