// Numbers the distinct words of a cut (a long text, or a batch per worker),
// so that the result holds one str object per distinct word instead of one
// per occurrence. Open addressing over 32-byte slots that keep each word's hash
// and, for words of up to 19 bytes (nearly all Chinese words), its bytes:
// a probe compares within the slot and does not chase the word into the
// text it came from, which is usually out of cache by then.
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
  // Room for about expected_words distinct words before the first growth.
  explicit WordTable(std::size_t expected_words = kInitialSlots / 2) : slots_(SlotsFor(expected_words)) {}

  // The number of word: its index in Words(), given on first sight; counts
  // the use. The bytes are not copied; they must outlive the table.
  std::uint32_t Intern(std::string_view word) {
    const std::uint64_t hash = std::hash<std::string_view>{}(word);
    for (std::size_t mask = slots_.size() - 1, at = hash & mask;; at = (at + 1) & mask) {
      Slot& slot = slots_[at];
      if (slot.number == kEmpty) return Add(slot, hash, word);
      if (slot.hash == hash && Matches(slot, word)) {
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
  static constexpr std::size_t kInitialSlots = 1024;
  static constexpr std::size_t kInlineBytes = 19;

  struct Slot {
    std::uint64_t hash = 0;
    std::uint32_t number = kEmpty;
    std::uint8_t length = 0;  // the word's length when it fits inline, else 0
    char bytes[kInlineBytes] = {};
  };
  static_assert(sizeof(Slot) == 32);

  static std::size_t SlotsFor(std::size_t words) {
    std::size_t slots = kMinSlots;
    while (slots < 2 * words && slots < kInitialSlots) slots *= 2;
    return slots;
  }

  bool Matches(const Slot& slot, std::string_view word) const {
    if (word.size() <= kInlineBytes) return slot.length == word.size() && std::memcmp(slot.bytes, word.data(), word.size()) == 0;
    return slot.length == 0 && words_[slot.number] == word;
  }

  std::uint32_t Add(Slot& slot, std::uint64_t hash, std::string_view word) {
    const auto number = static_cast<std::uint32_t>(words_.size());
    slot.hash = hash;
    slot.number = number;
    if (word.size() <= kInlineBytes) {
      slot.length = static_cast<std::uint8_t>(word.size());
      std::memcpy(slot.bytes, word.data(), word.size());
    }
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

// A new str for each word of table, by number: the words are the code units
// of str storage, `width` bytes each (1, 2 or 4).
inline std::vector<pybind11::object> WordObjects(const WordTable& table, unsigned width) {
  std::vector<pybind11::object> objects;
  objects.reserve(table.Words().size());
  for (const std::string_view units : table.Words()) {
    objects.push_back(pybind11::reinterpret_steal<pybind11::object>(
        PyUnicode_FromKindAndData(static_cast<int>(width), units.data(), static_cast<Py_ssize_t>(units.size() / width))));
    if (!objects.back()) throw pybind11::error_already_set();
  }
  return objects;
}

}  // namespace lumo::bindings
