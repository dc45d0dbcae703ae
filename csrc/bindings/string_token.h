// Reading one string token from a Python item, shared by both modules' BM25
// bindings: the bytes of a str as UTF-8, or of a bytes object as they are.
#pragma once

#include <Python.h>
#include <pybind11/pybind11.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/byte_arena.h"
#include "common/utf8.h"

namespace lumo::bindings {

// What a str without a UTF-8 form (one holding a lone surrogate) does.
enum class Unencodable {
  kDecline,  // the item is no string token, so a caller may try other readings
  kRaise,    // UnicodeEncodeError propagates as py::error_already_set
};

namespace string_token_detail {

// Writes the UTF-8 of the length code units at units into arena; false when
// one is a lone surrogate, which has no UTF-8.
template <typename Unit>
bool EncodeUtf8(const Unit* units, std::size_t length, ByteArena& arena, std::string_view& token) {
  constexpr std::size_t kMaxBytes = sizeof(Unit) == 1 ? 2 : sizeof(Unit) == 2 ? 3 : 4;
  char* const begin = arena.Claim(length * kMaxBytes);
  char* out = begin;
  for (std::size_t i = 0; i < length; ++i) {
    const std::uint32_t code_point = units[i];
    if (sizeof(Unit) > 1 && code_point >= 0xD800 && code_point <= 0xDFFF) {
      arena.Unclaim(length * kMaxBytes);
      return false;
    }
    out = WriteUtf8(code_point, out);
  }
  const auto size = static_cast<std::size_t>(out - begin);
  arena.Unclaim(length * kMaxBytes - size);
  token = {begin, size};
  return true;
}

// The UTF-8 of a compact str that is not ASCII: the copy the object holds,
// else one written into arena. False for a str with a lone surrogate.
inline bool CompactUtf8(PyObject* item, ByteArena& arena, std::string_view& token) {
  const auto* compact = reinterpret_cast<const PyCompactUnicodeObject*>(item);
  if (compact->utf8 != nullptr) {
    token = {compact->utf8, static_cast<std::size_t>(compact->utf8_length)};
    return true;
  }
  const auto length = static_cast<std::size_t>(PyUnicode_GET_LENGTH(item));
  switch (PyUnicode_KIND(item)) {
    case PyUnicode_1BYTE_KIND: return EncodeUtf8(PyUnicode_1BYTE_DATA(item), length, arena, token);
    case PyUnicode_2BYTE_KIND: return EncodeUtf8(PyUnicode_2BYTE_DATA(item), length, arena, token);
    default: return EncodeUtf8(PyUnicode_4BYTE_DATA(item), length, arena, token);
  }
}

}  // namespace string_token_detail

// Reads the items that ReadStringToken reads without the interpreter: a
// compact str (ASCII, else its UTF-8 copy or one encoded into arena) and a
// bytes object, through the objects' fields alone. A thread that does not
// hold the interpreter lock may call it while the lock's holder keeps item
// alive and runs no Python code (which could change a str's cached UTF-8).
// False for anything else, and for a str with a lone surrogate: the lock's
// holder reads those with ReadStringToken below.
inline bool ReadStringTokenWithoutLock(PyObject* item, std::string_view& token, ByteArena& arena) {
  if (PyUnicode_Check(item)) {
    if (PyUnicode_IS_COMPACT_ASCII(item)) {
      token = {static_cast<const char*>(PyUnicode_DATA(item)), static_cast<std::size_t>(PyUnicode_GET_LENGTH(item))};
      return true;
    }
    return PyUnicode_IS_COMPACT(item) && string_token_detail::CompactUtf8(item, arena, token);
  }
  if (PyBytes_Check(item)) {
    token = {PyBytes_AS_STRING(item), static_cast<std::size_t>(PyBytes_GET_SIZE(item))};
    return true;
  }
  return false;
}

// Sets token to a view of the item's bytes and returns true for a str or a
// bytes object; returns false for anything else, and for an unencodable str
// under kDecline. The view lives as long as the item and the claims on
// arena: a str that holds no UTF-8 of its own is encoded into arena rather
// than given a cached copy, which would grow every token of the caller's
// lists for as long as they live.
inline bool ReadStringToken(PyObject* item, std::string_view& token, Unencodable unencodable, ByteArena& arena) {
  if (ReadStringTokenWithoutLock(item, token, arena)) return true;
  if (!PyUnicode_Check(item)) return false;
  // A lone surrogate (or a legacy str): CPython's own conversion, which
  // raises UnicodeEncodeError for the former.
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(item, &size);
  if (!data) {
    if (unencodable == Unencodable::kRaise) throw pybind11::error_already_set();
    PyErr_Clear();
    return false;
  }
  token = {data, static_cast<std::size_t>(size)};
  return true;
}

}  // namespace lumo::bindings
