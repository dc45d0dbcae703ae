// Shared str objects for the short words of one- and two-byte text. The
// frequent words of a language are few and short, and they make up most of
// what a cut returns: handing out one str per such word, with its reference
// count raised, costs a fraction of making and later freeing a new str each
// time.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace lumo::bindings {

// Two direct-mapped tables, one per unit width, from the code units of a word
// of at most eight bytes (one to eight one-byte units, one to four two-byte
// units) to a str of them; the one-byte table also serves Latin-1 words of
// two-byte text, by their one-byte form. A word that maps to a slot held by
// another word takes the slot over. Used only while holding the interpreter
// lock, and only in the main interpreter (its objects outlive every call).
class ShortWordCache {
 public:
  template <typename Unit>
  static constexpr std::size_t kMaxUnits = 8 / sizeof(Unit);

  // Whether this thread may use the tables now: it holds the interpreter lock
  // (the caller's duty) in the main interpreter, and the tables are cleared
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
  // <= kMaxUnits<Unit>, or null when make(first, length), which makes a new
  // str (a new reference, or null with a Python error set), fails. Only while
  // Usable() holds.
  template <typename Unit, typename Make>
  static PyObject* Word(const Unit* first, std::size_t length, Make make) {
    static_assert(sizeof(Unit) <= 2, "one- and two-byte units only");
    return Shared(sizeof(Unit) == 1 ? narrow_ : wide_, Pack(first, length), length,
                  [&] { return make(first, length); });
  }

  // The same for five to eight two-byte units: when all are Latin-1 (an
  // English word in Chinese text, say), the word shares the one-byte table's
  // str of those characters; otherwise make(first, length) makes it.
  template <typename Make>
  static PyObject* LatinWord(const Py_UCS2* first, std::size_t length, Make make) {
    // Two loads of four units, overlapping below eight, cover the word
    // without reading outside it.
    std::uint64_t head;
    std::uint64_t tail;
    std::memcpy(&head, first, sizeof head);
    std::memcpy(&tail, first + length - 4, sizeof tail);
    if (((head | tail) & 0xFF00FF00FF00FF00ull) != 0) return make(first, length);
    // The units' low bytes, in order; the shared units agree, so OR joins them.
    const std::uint64_t units = LowBytes(head) | LowBytes(tail) << (8 * (length - 4));
    return Shared(narrow_, units, length, [&] { return make(first, length); });
  }

 private:
  static constexpr int kSlotBits = 12;
  struct Slot {
    std::uint64_t units;  // the units' bytes, first lowest, zero past the word
    PyObject* word;       // null in a vacant slot
  };

  // The str in slots for units of length characters, or a new one made by
  // make() that takes the slot over.
  template <typename Make>
  static PyObject* Shared(Slot* slots, std::uint64_t units, std::size_t length, Make make) {
    Slot& slot = slots[(units * 0x9E3779B97F4A7C15ull) >> (64 - kSlotBits)];
    // Equal units of one width and an equal length are the same word (the
    // length tells "a" from "a\0").
    if (slot.word != nullptr && slot.units == units &&
        PyUnicode_GET_LENGTH(slot.word) == static_cast<Py_ssize_t>(length)) {
      return Py_NewRef(slot.word);
    }
    PyObject* word = make();
    if (word == nullptr) return nullptr;
    PyObject* previous = slot.word;
    slot = {units, Py_NewRef(word)};
    Py_XDECREF(previous);  // a str: freeing it runs no Python code
    return word;
  }

  // The low bytes of four two-byte units, in order.
  static std::uint64_t LowBytes(std::uint64_t units) {
    return (units & 0xFF) | (units >> 8 & 0xFF00) | (units >> 16 & 0xFF0000) | (units >> 24 & 0xFF000000);
  }

  // The units [first, first + length), 1 <= length <= kMaxUnits<Unit>,
  // zero-extended; fixed sizes, so that each copy is a load or two.
  template <typename Unit>
  static std::uint64_t Pack(const Unit* first, std::size_t length) {
    std::uint64_t units = 0;
    if constexpr (sizeof(Unit) == 2) {
      switch (length) {
        case 1: std::memcpy(&units, first, 2); break;
        case 2: std::memcpy(&units, first, 4); break;
        case 3: std::memcpy(&units, first, 6); break;
        default: std::memcpy(&units, first, 8); break;
      }
    } else {
      switch (length) {
        case 1: std::memcpy(&units, first, 1); break;
        case 2: std::memcpy(&units, first, 2); break;
        case 3: std::memcpy(&units, first, 3); break;
        case 4: std::memcpy(&units, first, 4); break;
        case 5: std::memcpy(&units, first, 5); break;
        case 6: std::memcpy(&units, first, 6); break;
        case 7: std::memcpy(&units, first, 7); break;
        default: std::memcpy(&units, first, 8); break;
      }
    }
    return units;
  }

  static void Forget() {
    for (Slot& slot : narrow_) slot = Slot{0, nullptr};
    for (Slot& slot : wide_) slot = Slot{0, nullptr};
  }

  // Zero-initialized: vacant.
  static inline Slot narrow_[std::size_t{1} << kSlotBits];  // words of one-byte units
  static inline Slot wide_[std::size_t{1} << kSlotBits];    // words of two-byte units
  static inline int state_ = 0;  // 1: in use, -1: not usable, 0: not yet known
};

}  // namespace lumo::bindings
