// The outputs of the lumotext encoder's batches: a dict keyed by token, a
// {"indices", "values"} dict per vector, or the three arrays of one CSR
// matrix.
#pragma once

#include <Python.h>
#include <pybind11/pybind11.h>
#include <sys/mman.h>

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

#include "bm25/indexed_weight.h"

namespace lumo::bindings::companion {

namespace py = pybind11;

using typing::text::IndexedWeight;

// The three outputs, numbered as the Python layer passes them.
enum class Output : int { kDict = 0, kSparse = 1, kCsr = 2 };

inline Output ToOutput(int output) {
  if (output < 0 || output > 2) throw py::value_error("output must be 0, 1 or 2");
  return static_cast<Output>(output);
}

// Float objects for the weights of one vector, equal weights sharing one:
// most tokens of a document occur once and so weigh the same, and a float
// is immutable, so a vector holds a few float objects rather than one per
// entry. Keeps the last two weights made.
class SharedFloats {
 public:
  SharedFloats() = default;
  SharedFloats(const SharedFloats&) = delete;
  SharedFloats& operator=(const SharedFloats&) = delete;
  ~SharedFloats() {
    for (PyObject* object : objects_) Py_XDECREF(object);
  }

  // A new reference to a float of value, or null with a Python error set.
  PyObject* Of(double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    for (std::size_t i = 0; i < 2; ++i) {
      if (objects_[i] != nullptr && bits_[i] == bits) return Py_NewRef(objects_[i]);
    }
    PyObject* made = PyFloat_FromDouble(value);
    if (made == nullptr) return nullptr;
    Py_XDECREF(objects_[1]);
    objects_[1] = objects_[0];
    bits_[1] = bits_[0];
    objects_[0] = Py_NewRef(made);
    bits_[0] = bits;
    return made;
  }

 private:
  std::uint64_t bits_[2] = {};
  PyObject* objects_[2] = {};
};

// A vector as a dict: for each entry, the key key_of(entry) gives (a new
// reference, or null with a Python error set) and the entry's weight. With
// hashes, hashes[i] is the hash of entry i's key when that is an exact str,
// worked out beforehand off the interpreter lock (else -1): the str's cached
// hash is filled in with it, as hashing the str would, so that the dict need
// not read the str's characters. object_of(entry), when it is not null, is
// the object the key will be, which starts loading a few entries ahead: the
// caller's token objects are mostly out of cache by now.
template <typename Entries, typename KeyOf, typename ObjectOf>
py::dict WeightDict(const Entries& entries, KeyOf key_of, const Py_hash_t* hashes, ObjectOf object_of) {
  auto dict = py::reinterpret_steal<py::dict>(_PyDict_NewPresized(static_cast<Py_ssize_t>(entries.size())));
  if (!dict) throw py::error_already_set();
  SharedFloats floats;
  constexpr std::size_t kAhead = 8;
  for (std::size_t i = 0; i < std::min(kAhead, entries.size()); ++i) __builtin_prefetch(object_of(entries[i]), 1);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (i + kAhead < entries.size()) __builtin_prefetch(object_of(entries[i + kAhead]), 1);
    const auto key = py::reinterpret_steal<py::object>(key_of(entries[i]));
    const auto value = py::reinterpret_steal<py::object>(floats.Of(entries[i].weight));
    if (!key || !value) throw py::error_already_set();
    if (hashes != nullptr && hashes[i] != -1 && PyUnicode_CheckExact(key.ptr())) {
      auto* str = reinterpret_cast<PyASCIIObject*>(key.ptr());
      if (str->hash == -1) str->hash = hashes[i];
    }
    if (PyDict_SetItem(dict.ptr(), key.ptr(), value.ptr()) != 0) throw py::error_already_set();
  }
  return dict;
}

template <typename Entries, typename KeyOf>
py::dict WeightDict(const Entries& entries, KeyOf key_of) {
  return WeightDict(entries, key_of, nullptr, [](const auto&) -> const void* { return nullptr; });
}

inline py::dict ToSparse(std::span<const IndexedWeight> entries) {
  py::list indices(entries.size());
  py::list values(entries.size());
  SharedFloats floats;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    PyObject* index = PyLong_FromUnsignedLong(entries[i].index);
    PyObject* value = floats.Of(entries[i].weight);
    if (!index || !value) {
      Py_XDECREF(index);
      Py_XDECREF(value);
      throw py::error_already_set();
    }
    PyList_SET_ITEM(indices.ptr(), static_cast<Py_ssize_t>(i), index);
    PyList_SET_ITEM(values.ptr(), static_cast<Py_ssize_t>(i), value);
  }
  py::dict vector;
  vector["indices"] = std::move(indices);
  vector["values"] = std::move(values);
  return vector;
}

// A bytearray of size bytes, its contents unset; large ones are offered to
// the kernel for huge pages, since filling them is mostly page faults.
inline py::bytearray NewByteArray(std::size_t size) {
  auto array = py::reinterpret_steal<py::bytearray>(PyByteArray_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(size)));
  if (!array) throw py::error_already_set();
  constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
  const auto begin = reinterpret_cast<std::uintptr_t>(PyByteArray_AS_STRING(array.ptr()));
  const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t last = (begin + size) & ~(kHugePage - 1);
  if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);  // advice only
  return array;
}

// The three arrays of a CSR matrix (int64 indptr, int64 indices, float64
// data), written row by row straight into the bytearrays returned.
class CsrRows {
 public:
  // Room for rows rows and room entries; the entry arrays grow past it as
  // rows come.
  CsrRows(std::size_t rows, std::size_t room)
      : indptr_(NewByteArray((rows + 1) * sizeof(std::int64_t))),
        indices_(NewByteArray(room * sizeof(std::int64_t))),
        data_(NewByteArray(room * sizeof(double))),
        capacity_(room) {
    Indptr()[0] = 0;
  }

  void Append(std::span<const IndexedWeight> entries) {
    if (entries.size() > capacity_ - size_) Grow(std::max(2 * capacity_, size_ + entries.size()));
    auto* indices = reinterpret_cast<std::int64_t*>(PyByteArray_AS_STRING(indices_.ptr())) + size_;
    auto* data = reinterpret_cast<double*>(PyByteArray_AS_STRING(data_.ptr())) + size_;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      indices[i] = entries[i].index;
      data[i] = entries[i].weight;
    }
    size_ += entries.size();
    Indptr()[++rows_] = static_cast<std::int64_t>(size_);
  }

  // (indptr, indices, data), cut to the entries written.
  py::tuple Take() {
    Resize(size_);
    return py::make_tuple(indptr_, indices_, data_);
  }

 private:
  std::int64_t* Indptr() { return reinterpret_cast<std::int64_t*>(PyByteArray_AS_STRING(indptr_.ptr())); }

  void Resize(std::size_t entries) {
    if (PyByteArray_Resize(indices_.ptr(), static_cast<Py_ssize_t>(entries * sizeof(std::int64_t))) != 0 ||
        PyByteArray_Resize(data_.ptr(), static_cast<Py_ssize_t>(entries * sizeof(double))) != 0) {
      throw py::error_already_set();
    }
  }
  void Grow(std::size_t capacity) {
    Resize(capacity);
    capacity_ = capacity;
  }

  py::bytearray indptr_;
  py::bytearray indices_;
  py::bytearray data_;
  std::size_t rows_ = 0;
  std::size_t size_ = 0;      // entries written
  std::size_t capacity_ = 0;  // entries the arrays hold
};

}  // namespace lumo::bindings::companion
