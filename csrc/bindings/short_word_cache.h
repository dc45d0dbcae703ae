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
// another word takes the slot over. The tables are used only while holding the
// interpreter lock, and only in the main interpreter (its objects outlive
// every call); a word's key, where it would be, is worked out without them.
class ShortWordCache {
 public:
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

  // Where the str of a word lives in the tables: computed from the word's
  // units alone, so it needs no lock, and a caller with many words can work
  // out their keys before it takes the lock.
  struct Key {
    std::uint64_t units = 0;  // the units' bytes, first lowest, zero past the word (a Latin word
                              // of two-byte text in its one-byte form)
    std::uint32_t slot = 0;
    std::uint8_t length = 0;  // in characters; 0: a word the tables do not hold
    bool wide = false;        // in the two-byte table
  };

  // The key of the units [first, first + length): a word of one to eight
  // one-byte units or one to four two-byte units, or five to eight two-byte
  // units that are all Latin-1 (an English word in Chinese text, say), which
  // shares the one-byte table's str of those characters. Any other word gets
  // a key of length 0.
  template <typename Unit>
  static Key KeyOf(const Unit* first, std::size_t length) {
    if (length == 0) return {};
    if constexpr (sizeof(Unit) == 1) {
      if (length <= 8) return Keyed(Pack(first, length), length, false);
    } else if constexpr (sizeof(Unit) == 2) {
      if (length <= 4) return Keyed(Pack(first, length), length, true);
      if (length <= 8) {
        // Two loads of four units, overlapping below eight, cover the word
        // without reading outside it.
        std::uint64_t head;
        std::uint64_t tail;
        std::memcpy(&head, first, sizeof head);
        std::memcpy(&tail, first + length - 4, sizeof tail);
        if (((head | tail) & 0xFF00FF00FF00FF00ull) != 0) return {};
        // The units' low bytes, in order; the shared units agree, so OR joins them.
        return Keyed(LowBytes(head) | LowBytes(tail) << (8 * (length - 4)), length, false);
      }
    }
    return {};
  }

  // Start loading the slot of key, and (once the slot is near) the str it
  // holds, so that Word(key, ...) some words later finds them in cache. Only
  // while Usable() holds.
  static void PrefetchSlot(const Key& key) {
    if (key.length != 0) __builtin_prefetch(&SlotAt(key));
  }
  static void PrefetchWord(const Key& key) {
    if (key.length == 0) return;
    const std::uintptr_t word = SlotAt(key).word;
    if (word != 0) __builtin_prefetch(Untagged(word), 1);
  }

  // A new reference to the str of key, or null when make(), which makes a new
  // str of the word (a new reference, or null with a Python error set),
  // fails; a key of length 0 (a word the tables do not hold, or no key) gets
  // make()'s str. Only while Usable() holds, or with no key.
  template <typename Make>
  static PyObject* Word(const Key& key, Make make) {
    if (key.length == 0) return make();
    Slot& slot = SlotAt(key);
    // Equal units in one table and an equal length are the same word (the
    // length tells "a" from "a\0").
    if (slot.word != 0 && slot.units == key.units && (slot.word & 7) == key.length - 1u) {
      return Py_NewRef(Untagged(slot.word));
    }
    PyObject* word = make();
    if (word == nullptr || (reinterpret_cast<std::uintptr_t>(word) & 7) != 0) return word;  // no room for the tag
    PyObject* previous = slot.word != 0 ? Untagged(slot.word) : nullptr;
    slot = {key.units, Tagged(Py_NewRef(word), key.length)};
    Py_XDECREF(previous);  // a str: freeing it runs no Python code
    return word;
  }

 private:
  // 2^12 slots a width (64 KB each), which stay in cache between the calls
  // of one line each. With 2^14 a 64 KB cut of Chinese found 4 in 5 of its
  // distinct short words instead of 3 in 5, but each call of one line
  // spent about a tenth more on its words (measured on the bench text).
  static constexpr int kSlotBits = 12;
  struct Slot {
    std::uint64_t units;
    std::uintptr_t word;  // Tagged(str, length), or 0 in a vacant slot
  };

  static Key Keyed(std::uint64_t units, std::size_t length, bool wide) {
    return {units, static_cast<std::uint32_t>((units * 0x9E3779B97F4A7C15ull) >> (64 - kSlotBits)),
            static_cast<std::uint8_t>(length), wide};
  }

  static Slot& SlotAt(const Key& key) { return (key.wide ? wide_ : narrow_)[key.slot]; }

  // A str with its length, 1 to 8, in the pointer's three low bits (a str is
  // aligned to 8 bytes or more): a probe decides without reading the str,
  // which is seldom in cache then.
  static std::uintptr_t Tagged(PyObject* word, std::size_t length) {
    return reinterpret_cast<std::uintptr_t>(word) | (length - 1);
  }
  static PyObject* Untagged(std::uintptr_t tagged) { return reinterpret_cast<PyObject*>(tagged & ~std::uintptr_t{7}); }

  // The low bytes of four two-byte units, in order.
  static std::uint64_t LowBytes(std::uint64_t units) {
    return (units & 0xFF) | (units >> 8 & 0xFF00) | (units >> 16 & 0xFF0000) | (units >> 24 & 0xFF000000);
  }

  // The units [first, first + length), 1 <= length, at most 8 bytes,
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
    for (Slot& slot : narrow_) slot = Slot{0, 0};
    for (Slot& slot : wide_) slot = Slot{0, 0};
  }

  // Zero-initialized: vacant.
  static inline Slot narrow_[std::size_t{1} << kSlotBits];  // words of one-byte units
  static inline Slot wide_[std::size_t{1} << kSlotBits];    // words of two-byte units
  static inline int state_ = 0;  // 1: in use, -1: not usable, 0: not yet known
};

}  // namespace lumo::bindings
