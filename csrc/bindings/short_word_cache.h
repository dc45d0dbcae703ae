// Shared str objects for the short words of two-byte text. The frequent words
// of a language are few and short, and they make up most of what a cut
// returns: handing out one str per such word, with its reference count
// raised, costs a fraction of making and later freeing a new str each time.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace lumo::bindings {

// A direct-mapped table from the code units of a word of one to four units
// to a str of them: a word that maps to a slot held by another word takes the
// slot over. Used only while holding the interpreter lock, and only in the
// main interpreter (its objects outlive every call).
class ShortWordCache {
 public:
  static constexpr std::size_t kMaxUnits = 4;

  // Whether this thread may use the table now: it holds the interpreter lock
  // (the caller's duty) in the main interpreter, and the table is cleared
  // when the interpreter is finalized. Asked once per call, not per word.
  static bool Usable() {
    if (state_ == 0) {
      // After the interpreter is finalized the objects are gone: they are
      // forgotten then (an embedding program may initialize Python again).
      // No table without that guarantee.
      state_ = Py_AtExit(Forget) == 0 ? 1 : -1;
    }
    return state_ > 0 && PyInterpreterState_Get() == PyInterpreterState_Main();
  }

  // A new reference to a str of the units [first, first + length), 1 <= length
  // <= kMaxUnits, or null when make(first, length), which makes a new str
  // (a new reference, or null with a Python error set), fails. Only while
  // Usable() holds.
  template <typename Make>
  static PyObject* Word(const Py_UCS2* first, std::size_t length, Make make) {
    const std::uint64_t units = Pack(first, length);
    Slot& slot = slots_[(units * 0x9E3779B97F4A7C15ull) >> (64 - kSlotBits)];
    if (slot.word != nullptr && slot.units == units && PyUnicode_GET_LENGTH(slot.word) == static_cast<Py_ssize_t>(length)) {
      return Py_NewRef(slot.word);
    }
    PyObject* word = make(first, length);
    if (word == nullptr) return nullptr;
    PyObject* previous = slot.word;
    slot = {units, Py_NewRef(word)};
    Py_XDECREF(previous);  // a str: freeing it runs no Python code
    return word;
  }

 private:
  static constexpr int kSlotBits = 12;
  struct Slot {
    std::uint64_t units;  // the units, first lowest, zero past the word
    PyObject* word;       // null in a vacant slot
  };

  static std::uint64_t Pack(const Py_UCS2* first, std::size_t length) {
    std::uint64_t units = 0;
    switch (length) {  // fixed sizes, so that each copy is one load
      case 1: std::memcpy(&units, first, 2); break;
      case 2: std::memcpy(&units, first, 4); break;
      case 3: std::memcpy(&units, first, 6); break;
      default: std::memcpy(&units, first, 8); break;
    }
    return units;
  }

  static void Forget() {
    for (Slot& slot : slots_) slot = Slot{0, nullptr};
  }

  static inline Slot slots_[std::size_t{1} << kSlotBits];  // zero-initialized: vacant
  static inline int state_ = 0;  // 1: in use, -1: not usable, 0: not yet known
};

}  // namespace lumo::bindings
