// Words of a str as Python str objects, for both extension modules. The
// engine reads a str's code points from its own storage (no UTF-8 is made or
// decoded), so its words come back as code point slices of the str. A short
// text's words are cut out of it as substrings, which also gives CPython's
// shared object for a one-character Latin-1 word. A long text's distinct
// words are numbered off the interpreter lock and each becomes one str shared
// by its uses: fewer objects to make while the lock is held, which is what
// other threads wait for.
#pragma once

#include <Python.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <optional>
#include <string_view>
#include <vector>

#include "bindings/short_word_cache.h"
#include "bindings/word_table.h"
#include "common/utf8.h"
#include "tokenizer/jieba/rune.h"
#include "tokenizer/jieba/word_record.h"

namespace lumo::bindings {

using typing::text::jieba::CodePointText;
using typing::text::jieba::WordSlice;

// The storage of a str, which must be ready (every str made by CPython 3.11
// is, but for the deprecated legacy API: PyUnicode_READY first).
inline CodePointText StorageOf(PyObject* text) {
  return CodePointText{PyUnicode_DATA(text), static_cast<std::size_t>(PyUnicode_GET_LENGTH(text)),
                       static_cast<unsigned>(PyUnicode_KIND(text))};
}

// Whether text holds no surrogate (a str may; UTF-8 cannot encode one) and
// its UTF-8 takes fewer than limit bytes. Bytes are counted only for a text
// long enough to reach the limit.
inline bool EncodableUnder(const CodePointText& text, std::size_t limit) {
  const auto check = [&](const auto* units) {
    if constexpr (sizeof(*units) > 1) {
      // One comparison per unit and no branch, so that the loop is vectorised.
      unsigned surrogates = 0;
      for (std::size_t i = 0; i < text.size; ++i) surrogates |= static_cast<std::uint32_t>(units[i]) - 0xD800u < 0x800u;
      if (surrogates != 0) return false;
    }
    if (text.size < limit / 4) return true;
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < text.size; ++i) bytes += Utf8Length(units[i]);
    return bytes < limit;
  };
  switch (text.width) {
    case 1: return check(static_cast<const std::uint8_t*>(text.data));
    case 2: return check(static_cast<const std::uint16_t*>(text.data));
    default: return check(static_cast<const std::uint32_t*>(text.data));
  }
}

// The bytes that hold the code points of slice in text: a key that tells
// words of texts of one width apart.
inline std::string_view UnitBytes(const CodePointText& text, const WordSlice& slice) {
  return {static_cast<const char*>(text.data) + std::size_t{slice.byte_offset} * text.width,
          std::size_t{slice.byte_length} * text.width};
}

// Copies the units [first, first + length) into a new str of the narrowest
// storage that holds their largest code point (CPython's canonical form).
template <typename Unit>
PyObject* NewStrOfUnits(const Unit* first, std::size_t length) {
  if constexpr (sizeof(Unit) == 2) {
    // Most words of Chinese text: one to four units of two bytes. Two 4-byte
    // loads, overlapping for fewer than four units, hold them all; when a unit
    // needs two bytes (their OR does, exactly when their largest does), they
    // are stored back the same way.
    if (length >= 2 && length <= 4) {
      std::uint32_t head;
      std::uint32_t tail;
      std::memcpy(&head, first, sizeof head);
      std::memcpy(&tail, first + length - 2, sizeof tail);
      const std::uint32_t both = head | tail;
      const Py_UCS4 bits = (both | both >> 16) & 0xFFFF;
      if (bits >= 256) {
        PyObject* word = PyUnicode_New(static_cast<Py_ssize_t>(length), bits);
        if (word == nullptr) return nullptr;
        Py_UCS2* out = PyUnicode_2BYTE_DATA(word);
        std::memcpy(out, &head, sizeof head);
        std::memcpy(out + length - 2, &tail, sizeof tail);
        return word;
      }
    } else if (length == 1 && first[0] >= 256) {
      PyObject* word = PyUnicode_New(1, first[0]);
      if (word == nullptr) return nullptr;
      PyUnicode_2BYTE_DATA(word)[0] = first[0];
      return word;
    }
  }
  Py_UCS4 largest = 0;
  for (std::size_t k = 0; k < length; ++k) largest = std::max<Py_UCS4>(largest, first[k]);
  if (length == 1 && largest < 256) return PyUnicode_FromOrdinal(static_cast<int>(largest));  // CPython's shared object
  PyObject* word = PyUnicode_New(static_cast<Py_ssize_t>(length), largest);
  if (word == nullptr) return nullptr;
  const auto copy = [&](auto* out) {
    for (std::size_t k = 0; k < length; ++k) out[k] = static_cast<std::remove_pointer_t<decltype(out)>>(first[k]);
  };
  switch (PyUnicode_KIND(word)) {
    case PyUnicode_1BYTE_KIND: copy(PyUnicode_1BYTE_DATA(word)); break;
    case PyUnicode_2BYTE_KIND: copy(PyUnicode_2BYTE_DATA(word)); break;
    default: copy(PyUnicode_4BYTE_DATA(word)); break;
  }
  return word;
}

// A new str of the length code points at unit index start of storage, the
// narrowest form that holds them. Null with a Python error set when no str
// can be made.
inline PyObject* NewWord(const CodePointText& storage, std::size_t start, std::size_t length) {
  switch (storage.width) {
    case 1: return NewStrOfUnits(static_cast<const Py_UCS1*>(storage.data) + start, length);
    case 2: return NewStrOfUnits(static_cast<const Py_UCS2*>(storage.data) + start, length);
    default: return NewStrOfUnits(static_cast<const Py_UCS4*>(storage.data) + start, length);
  }
}

// The short-word key of the code points [start, start + length) of storage
// (none for four-byte text). Needs no lock.
inline ShortWordCache::Key ShortKeyOf(const CodePointText& storage, std::size_t start, std::size_t length) {
  switch (storage.width) {
    case 1: return ShortWordCache::KeyOf(static_cast<const Py_UCS1*>(storage.data) + start, length);
    case 2: return ShortWordCache::KeyOf(static_cast<const Py_UCS2*>(storage.data) + start, length);
    default: return {};
  }
}

// text[start:end] of a str whose storage is storage, a new reference; text
// itself when that is all of it and text is an exact str (a subclass gives a
// plain str). What PyUnicode_Substring gives, made without its general
// checks: this runs once per word. The str of a short word comes from the
// short-word tables when key (its ShortKeyOf, or no key) says where.
// Throws error_already_set.
inline PyObject* SubstringOf(PyObject* text, const CodePointText& storage, std::uint32_t start, std::uint32_t end,
                             const ShortWordCache::Key& key) {
  if (start == 0 && end == storage.size && PyUnicode_CheckExact(text)) return Py_NewRef(text);
  const auto make = [&] { return NewWord(storage, start, end - start); };
  PyObject* word = ShortWordCache::Word(key, make);
  if (word == nullptr) throw pybind11::error_already_set();
  return word;
}

// The same, short words shared when share_short (ShortWordCache::Usable(),
// asked once per call).
inline PyObject* SubstringOf(PyObject* text, const CodePointText& storage, std::uint32_t start, std::uint32_t end,
                             bool share_short) {
  return SubstringOf(text, storage, start, end,
                     share_short ? ShortKeyOf(storage, start, end - start) : ShortWordCache::Key{});
}

// The short-word keys of the words of table, by number (their units are
// `width` bytes each). Needs no lock.
inline std::vector<ShortWordCache::Key> ShortWordKeys(const WordTable& table, unsigned width) {
  std::vector<ShortWordCache::Key> keys;
  keys.reserve(table.Words().size());
  for (const std::string_view units : table.Words()) {
    keys.push_back(ShortKeyOf(CodePointText{units.data(), units.size() / width, width}, 0, units.size() / width));
  }
  return keys;
}

// A str for each word of table, by number: the words are the code units of
// str storage, `width` bytes each (1, 2 or 4), and keys their ShortWordKeys.
// Holds the lock.
inline std::vector<pybind11::object> WordObjects(const WordTable& table, unsigned width,
                                                 const std::vector<ShortWordCache::Key>& keys) {
  const bool share_short = ShortWordCache::Usable();
  const std::vector<std::string_view>& words = table.Words();
  // The tables' slots and strs are mostly out of cache: each word's slot
  // starts loading some words ahead, and the str in it a few words later.
  constexpr std::size_t kSlotAhead = 16;
  constexpr std::size_t kWordAhead = 8;
  std::vector<pybind11::object> objects;
  objects.reserve(words.size());
  for (std::size_t k = 0; k < words.size(); ++k) {
    const CodePointText storage{words[k].data(), words[k].size() / width, width};
    const auto make = [&] { return NewWord(storage, 0, storage.size); };
    if (share_short) {
      if (k + kSlotAhead < words.size()) ShortWordCache::PrefetchSlot(keys[k + kSlotAhead]);
      if (k + kWordAhead < words.size()) ShortWordCache::PrefetchWord(keys[k + kWordAhead]);
    }
    PyObject* word = ShortWordCache::Word(share_short ? keys[k] : ShortWordCache::Key{}, make);
    objects.push_back(pybind11::reinterpret_steal<pybind11::object>(word));
    if (!objects.back()) throw pybind11::error_already_set();
  }
  return objects;
}

inline std::vector<pybind11::object> WordObjects(const WordTable& table, unsigned width) {
  return WordObjects(table, width, ShortWordKeys(table, width));
}

// The words of one str, prepared off the lock from its code point slices and
// made into a list with it.
class StrWords {
 public:
  // From this many words on, words are shared (measured: bench/bench_jieba.py,
  // 64 KB calls on two threads).
  static constexpr std::size_t kShareFrom = 128;

  // Needs no lock. text is the str's storage; slices are code point slices of
  // it, as the engine gives them.
  void Prepare(const CodePointText& text, const std::vector<WordSlice>& slices) {
    if (slices.size() < kShareFrom) return;
    width_ = text.width;
    // About one word in ten is new in a long text (measured on the bench
    // text in 64 KB pieces): the table starts with room for one in sixteen
    // (it holds twice that before it grows), which seldom grows and stays
    // small enough to be cached.
    WordTable& table = table_.emplace(slices.size() / 16);
    numbers_.resize(slices.size());
    for (std::size_t k = 0; k < slices.size(); ++k) numbers_[k] = table.Intern(UnitBytes(text, slices[k]));
    keys_ = ShortWordKeys(table, width_);
  }

  // With the lock: a new list of the words of text at slices (those given to
  // Prepare), in order.
  pybind11::list Build(PyObject* text, const std::vector<WordSlice>& slices) const {
    pybind11::list words(slices.size());
    if (!table_) {
      const CodePointText storage = StorageOf(text);
      const bool share_short = ShortWordCache::Usable();
      for (std::size_t i = 0; i < slices.size(); ++i) {
        const WordSlice& slice = slices[i];
        PyList_SET_ITEM(words.ptr(), static_cast<Py_ssize_t>(i),
                        SubstringOf(text, storage, slice.byte_offset, slice.byte_offset + slice.byte_length,
                                    share_short));
      }
      return words;
    }
    const std::vector<pybind11::object> objects = WordObjects(*table_, width_, keys_);
    AddUseReferences(objects, table_->Uses());  // nothing can fail from here on
    for (std::size_t k = 0; k < numbers_.size(); ++k) {
      PyList_SET_ITEM(words.ptr(), static_cast<Py_ssize_t>(k), objects[numbers_[k]].ptr());
    }
    return words;
  }

 private:
  unsigned width_ = 1;
  std::optional<WordTable> table_;
  std::vector<std::uint32_t> numbers_;
  std::vector<ShortWordCache::Key> keys_;
};

}  // namespace lumo::bindings
