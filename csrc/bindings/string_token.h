// Reading one string token from a Python item, shared by both modules' BM25
// bindings: the bytes of a str as UTF-8, or of a bytes object as they are.
#pragma once

#include <Python.h>
#include <pybind11/pybind11.h>

#include <cstddef>
#include <string_view>

namespace lumo::bindings {

// What a str without a UTF-8 form (one holding a lone surrogate) does.
enum class Unencodable {
  kDecline,  // the item is no string token, so a caller may try other readings
  kRaise,    // UnicodeEncodeError propagates as py::error_already_set
};

// Sets token to a view of the item's bytes and returns true for a str (its
// UTF-8, cached in the object, so the view lives as long as the item) or a
// bytes object; returns false for anything else, and for an unencodable str
// under kDecline.
inline bool ReadStringToken(PyObject* item, std::string_view& token, Unencodable unencodable) {
  if (PyUnicode_Check(item)) {
    if (PyUnicode_IS_COMPACT_ASCII(item)) {
      token = {static_cast<const char*>(PyUnicode_DATA(item)), static_cast<std::size_t>(PyUnicode_GET_LENGTH(item))};
      return true;
    }
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
  if (PyBytes_Check(item)) {
    token = {PyBytes_AS_STRING(item), static_cast<std::size_t>(PyBytes_GET_SIZE(item))};
    return true;
  }
  return false;
}

}  // namespace lumo::bindings
