// The Python class BM25. Token lists are read in one pass as views of the
// items' bytes (str items as their UTF-8, bytes and bytearray items as they
// are) or as 64-bit ids, and result dicts reuse the caller's own str and int
// objects as keys. The casters below keep pybind11's matching rules for
// List[str] and List[int], so overload dispatch is the library's own.
#include <Python.h>

#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bindings/collector_pause.h"
#include "bindings/direct_call.h"
#include "bindings/registration.h"
#include "bindings/string_token.h"
#include "bm25/bm25.h"
#include "bm25/kept_room.h"

namespace py = pybind11;

namespace lumo::bindings::bm25_detail {

// The items of a token sequence, held by strong references taken before any
// item is read: the caller's tuple itself (immutable), or a reference to each
// item of a list (copied without running Python code) or of the tuple made of
// another sequence. Python code that runs while the items are read (an item's
// __index__, a finalizer run by the garbage collector) may change the list,
// but cannot free or replace what the views and ids below were read from. The
// references are plain counts, not a new container, so holding a list
// allocates no object that the garbage collector tracks.
class HeldSequence {
 public:
  HeldSequence() = default;
  HeldSequence(const HeldSequence&) = delete;
  HeldSequence& operator=(const HeldSequence&) = delete;
  HeldSequence(HeldSequence&& other) noexcept { *this = std::move(other); }
  HeldSequence& operator=(HeldSequence&& other) noexcept {
    Release();
    tuple_ = std::move(other.tuple_);
    references_ = std::move(other.references_);
    items_ = tuple_ ? &PyTuple_GET_ITEM(tuple_.ptr(), 0) : references_.data();
    size_ = other.size_;
    other.items_ = nullptr;
    other.size_ = 0;
    return *this;
  }
  ~HeldSequence() { Release(); }

  // Holds src when it is a token sequence: any sequence but str and bytes, as
  // pybind11's list conversion accepts.
  bool Hold(PyObject* src) {
    if (!src || !PySequence_Check(src) || PyBytes_Check(src) || PyUnicode_Check(src)) return false;
    Release();
    if (PyList_Check(src)) {
      size_ = PyList_GET_SIZE(src);
      references_.resize(static_cast<std::size_t>(size_));
      for (Py_ssize_t i = 0; i < size_; ++i) references_[static_cast<std::size_t>(i)] = Py_NewRef(PyList_GET_ITEM(src, i));
      items_ = references_.data();
      return true;
    }
    PyObject* tuple = PyTuple_Check(src) ? Py_NewRef(src) : PySequence_Tuple(src);
    if (!tuple) {
      PyErr_Clear();
      return false;
    }
    tuple_ = py::reinterpret_steal<py::object>(tuple);
    items_ = &PyTuple_GET_ITEM(tuple, 0);
    size_ = PyTuple_GET_SIZE(tuple);
    return true;
  }

  Py_ssize_t size() const { return size_; }
  PyObject* item(std::size_t index) const { return items_[index]; }
  PyObject* const* items() const { return items_; }

 private:
  void Release() {
    for (PyObject* reference : references_) Py_DECREF(reference);
    references_.clear();
    tuple_ = py::object();
    items_ = nullptr;
    size_ = 0;
  }

  py::object tuple_;
  std::vector<PyObject*> references_;
  PyObject* const* items_ = nullptr;
  Py_ssize_t size_ = 0;
};

struct StringTokenList : HeldSequence {
  std::vector<std::string_view> tokens;
  std::vector<py::object> copies;  // bytes copies of bytearray items, which stay mutable
  ByteArena utf8;                  // the UTF-8 of str items that hold none
};

struct IntegerTokenList : HeldSequence {
  std::vector<std::int64_t> tokens;
};

// Results, named for the generated signatures.
struct StringWeightDict {
  py::dict dict;
};
struct IntegerWeightDict {
  py::dict dict;
};

// Whether src is a list or tuple whose first item can be no token of the
// kind that accept tells: the overload then fails before taking a snapshot.
template <typename Accept>
bool FirstItemRejected(PyObject* src, Accept accept) {
  if (PyList_Check(src)) return PyList_GET_SIZE(src) > 0 && !accept(PyList_GET_ITEM(src, 0));
  if (PyTuple_Check(src)) return PyTuple_GET_SIZE(src) > 0 && !accept(PyTuple_GET_ITEM(src, 0));
  return false;
}

inline bool IsStringItem(PyObject* item) {
  return PyUnicode_Check(item) || PyBytes_Check(item) || PyByteArray_Check(item);
}

// A bytearray token, read from a bytes copy kept in copies.
inline bool ReadByteArrayToken(PyObject* item, std::vector<py::object>& copies, std::string_view& token) {
  PyObject* copy = PyBytes_FromStringAndSize(PyByteArray_AS_STRING(item), PyByteArray_GET_SIZE(item));
  if (!copy) throw py::error_already_set();
  copies.push_back(py::reinterpret_steal<py::object>(copy));
  token = {PyBytes_AS_STRING(copy), static_cast<std::size_t>(PyBytes_GET_SIZE(copy))};
  return true;
}

// A signed 64-bit token id, by pybind11's integer rule: never a float; without
// conversion only int (bool included) and objects with __index__; with
// conversion also numbers that int() accepts; out of range never matches.
inline bool ReadIntegerToken(PyObject* item, bool convert, std::int64_t& token) {
  if (PyLong_CheckExact(item)) {
    int overflow = 0;
    const long long value = PyLong_AsLongLongAndOverflow(item, &overflow);
    if (overflow == 0) {
      token = value;
      return true;
    }
    return false;
  }
  if (PyFloat_Check(item)) return false;
  if (!convert && !PyLong_Check(item) && !PyIndex_Check(item)) return false;
  const long long value = PyLong_AsLongLong(item);
  if (value == -1 && PyErr_Occurred()) {
    PyErr_Clear();
    if (!convert || !PyNumber_Check(item)) return false;
    py::object number = py::reinterpret_steal<py::object>(PyNumber_Long(item));
    if (!number) {
      PyErr_Clear();
      return false;
    }
    return ReadIntegerToken(number.ptr(), false, token);
  }
  token = value;
  return true;
}

// A dict of the entries in their order: each key is the caller's own item
// where it is an exact str or int (so its value is the key's), else a new one
// that make_key returns as a new reference (null with a Python error set).
// The items are held by the caller (by references, or by a list that nothing
// can change while a CollectorPause lives), so Python code run by the
// allocations here (the garbage collector's finalizers) cannot free them.
template <typename Weights, typename MakeKey>
py::dict BuildDict(const Weights& weights, PyObject* const* items, MakeKey make_key) {
  py::dict dict = py::reinterpret_steal<py::dict>(_PyDict_NewPresized(static_cast<Py_ssize_t>(weights.size())));
  if (!dict) throw py::error_already_set();
  for (const auto& entry : weights) {
    PyObject* key = make_key(items[entry.first_position], entry);
    if (!key) throw py::error_already_set();
    PyObject* value = PyFloat_FromDouble(entry.weight);
    const bool stored = value && PyDict_SetItem(dict.ptr(), key, value) == 0;
    Py_XDECREF(value);
    Py_DECREF(key);
    if (!stored) throw py::error_already_set();
  }
  return dict;
}

inline py::dict ToDict(const typing::text::StringSparseVector& weights, PyObject* const* items) {
  return BuildDict(weights, items, [](PyObject* item, const typing::text::StringTokenWeight& entry) {
    if (PyUnicode_CheckExact(item)) return Py_NewRef(item);
    // Strict UTF-8: bytes that do not decode raise UnicodeDecodeError.
    return PyUnicode_DecodeUTF8(entry.token.data(), static_cast<Py_ssize_t>(entry.token.size()), nullptr);
  });
}

inline py::dict ToDict(const typing::text::IntegerSparseVector& weights, PyObject* const* items) {
  return BuildDict(weights, items, [](PyObject* item, const typing::text::IntegerTokenWeight& entry) {
    if (PyLong_CheckExact(item)) return Py_NewRef(item);
    return PyLong_FromLongLong(entry.token);
  });
}

}  // namespace lumo::bindings::bm25_detail

namespace pybind11::detail {

template <>
struct type_caster<lumo::bindings::bm25_detail::StringTokenList> {
  PYBIND11_TYPE_CASTER(lumo::bindings::bm25_detail::StringTokenList, const_name("List[str]"));

  bool load(handle src, bool /*convert: strings match alike in both passes*/) {
    using namespace lumo::bindings::bm25_detail;
    if (FirstItemRejected(src.ptr(), IsStringItem) || !value.Hold(src.ptr())) return false;
    value.tokens.resize(static_cast<std::size_t>(value.size()));
    for (std::size_t i = 0; i < value.tokens.size(); ++i) {
      PyObject* item = value.item(i);
      std::string_view& token = value.tokens[i];
      if (lumo::bindings::ReadStringToken(item, token, lumo::bindings::Unencodable::kDecline, value.utf8)) continue;
      if (!PyByteArray_Check(item) || !ReadByteArrayToken(item, value.copies, token)) return false;
    }
    return true;
  }
};

template <>
struct type_caster<lumo::bindings::bm25_detail::IntegerTokenList> {
  PYBIND11_TYPE_CASTER(lumo::bindings::bm25_detail::IntegerTokenList, const_name("List[int]"));

  bool load(handle src, bool convert) {
    using namespace lumo::bindings::bm25_detail;
    if (FirstItemRejected(src.ptr(), [](PyObject* item) { return !PyUnicode_Check(item) && !PyBytes_Check(item); }) ||
        !value.Hold(src.ptr())) {
      return false;
    }
    value.tokens.resize(static_cast<std::size_t>(value.size()));
    for (std::size_t i = 0; i < value.tokens.size(); ++i) {
      if (!ReadIntegerToken(value.item(i), convert, value.tokens[i])) return false;
    }
    return true;
  }
};

template <>
struct type_caster<lumo::bindings::bm25_detail::StringWeightDict> {
  PYBIND11_TYPE_CASTER(lumo::bindings::bm25_detail::StringWeightDict, const_name("Dict[str, float]"));
  bool load(handle, bool) { return false; }
  static handle cast(lumo::bindings::bm25_detail::StringWeightDict src, return_value_policy, handle) {
    return src.dict.release();
  }
};

template <>
struct type_caster<lumo::bindings::bm25_detail::IntegerWeightDict> {
  PYBIND11_TYPE_CASTER(lumo::bindings::bm25_detail::IntegerWeightDict, const_name("Dict[int, float]"));
  bool load(handle, bool) { return false; }
  static handle cast(lumo::bindings::bm25_detail::IntegerWeightDict src, return_value_policy, handle) {
    return src.dict.release();
  }
};

}  // namespace pybind11::detail

namespace lumo::bindings::bm25_fast_call {

using typing::text::BM25;

// The common call, an exact BM25 given one positional exact list whose items
// are all exact str or all exact int, is served here directly; every other
// call (another sequence, keywords, a subclass, an empty list, any other
// item, a str without UTF-8 form) goes to pybind11's dispatcher.

PyTypeObject* model_type = nullptr;

// Token storage reused by the calls of one thread. A call made while it is in
// use takes fresh storage instead (none is expected: a served call runs no
// Python code, see CollectorPause).
struct TokenScratch {
  std::vector<std::string_view> strings;
  std::vector<std::int64_t> ids;
  typing::text::StringSparseVector string_weights;
  typing::text::IntegerSparseVector id_weights;
  ByteArena utf8;  // the UTF-8 of str items that hold none
  bool busy = false;
};

thread_local TokenScratch thread_scratch;

class ScratchLease {
 public:
  ScratchLease() : scratch_(thread_scratch.busy ? own_ : thread_scratch) { scratch_.busy = true; }
  ~ScratchLease() {
    // Storage that an unusually long list grew is not kept.
    typing::text::ReleaseIfLarge(scratch_.strings);
    typing::text::ReleaseIfLarge(scratch_.ids);
    typing::text::ReleaseIfLarge(scratch_.string_weights);
    typing::text::ReleaseIfLarge(scratch_.id_weights);
    scratch_.utf8.Clear();
    scratch_.busy = false;
  }
  ScratchLease(const ScratchLease&) = delete;
  ScratchLease& operator=(const ScratchLease&) = delete;
  TokenScratch& operator*() { return scratch_; }

 private:
  TokenScratch own_;
  TokenScratch& scratch_;
};

// Reads the items of list as str tokens (integer false) or int tokens
// (integer true), decided by the first item. False when the list is empty
// or an item does not fit that kind. Reading runs no Python code.
bool ReadExactList(PyObject* list, TokenScratch& scratch, bool& integer) {
  const auto size = static_cast<std::size_t>(PyList_GET_SIZE(list));
  if (size == 0) return false;
  PyObject* const* items = &PyList_GET_ITEM(list, 0);
  integer = PyLong_CheckExact(items[0]);
  if (integer) {
    scratch.ids.resize(size);
    for (std::size_t i = 0; i < size; ++i) {
      int overflow = 0;
      if (!PyLong_CheckExact(items[i])) return false;
      scratch.ids[i] = PyLong_AsLongLongAndOverflow(items[i], &overflow);
      if (overflow != 0) return false;
    }
    return true;
  }
  scratch.strings.resize(size);
  // Fresh str objects are usually not in cache yet: start loading a few
  // items ahead of the one read.
  constexpr std::size_t kAhead = 8;
  for (std::size_t i = 0; i < size; ++i) {
    if (i + kAhead < size) __builtin_prefetch(items[i + kAhead]);
    if (!PyUnicode_CheckExact(items[i]) ||
        !ReadStringToken(items[i], scratch.strings[i], Unencodable::kDecline, scratch.utf8)) {
      return false;
    }
  }
  return true;
}

// The result of one hot method on a model and the tokens read from items, as
// a new reference.
template <typename Call>
PyObject* Serve(BM25& model, TokenScratch& scratch, bool integer, PyObject* const* items, Call call) {
  return direct_call::Served([&]() -> PyObject* {
    if (integer) return call(model, std::span<const std::int64_t>(scratch.ids), scratch.id_weights, items);
    return call(model, std::span<const std::string_view>(scratch.strings), scratch.string_weights, items);
  });
}

// A served call runs under a CollectorPause, and then runs only this module's
// code and CPython's allocation, UTF-8 caching, hashing and dict insertion of
// exact str, int, float and dict objects, none of which runs Python code: the
// list and its items stay exactly as they were read, so the tokens can be read
// from borrowed items without a reference taken to each.
template <direct_call::Function Self, typename Call>
PyObject* Dispatch(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, Call call) {
  PyObject* const* arguments = direct_call::PositionalArguments(args, nargs, kwnames, 1);
  PyObject* list = arguments != nullptr ? arguments[0] : nullptr;
  if (list != nullptr && PyList_CheckExact(list)) {
    if (BM25* model = direct_call::ExactInstance<BM25>(self, model_type)) {
      ScratchLease scratch;
      CollectorPause pause;
      bool integer = false;
      if (ReadExactList(list, *scratch, integer)) return Serve(*model, *scratch, integer, &PyList_GET_ITEM(list, 0), call);
    }
  }
  return direct_call::CallLibrary<Self>(self, args, nargs, kwnames);
}

PyObject* Train(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  const auto train = [](BM25& model, auto tokens, auto&, PyObject* const*) -> PyObject* {
    model.train(tokens);
    Py_RETURN_NONE;
  };
  return Dispatch<Train>(self, args, nargs, kwnames, train);
}

PyObject* EncodeDocument(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  const auto encode = [](BM25& model, auto tokens, auto& weights, PyObject* const* items) {
    model.encode_document(tokens, weights);
    return bm25_detail::ToDict(weights, items).release().ptr();
  };
  return Dispatch<EncodeDocument>(self, args, nargs, kwnames, encode);
}

PyObject* EncodeQuery(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  const auto encode = [](BM25& model, auto tokens, auto& weights, PyObject* const* items) {
    model.encode_query(tokens, weights);
    return bm25_detail::ToDict(weights, items).release().ptr();
  };
  return Dispatch<EncodeQuery>(self, args, nargs, kwnames, encode);
}

}  // namespace lumo::bindings::bm25_fast_call

namespace lumo::bindings {

void RegisterBM25(pybind11::module_& module) {
  using typing::text::BM25;
  using namespace bm25_detail;

  // Registration order decides dispatch: List[str] before List[int], so an
  // empty list takes the str overload; b() and k1() read before they set.
  py::class_<BM25, std::shared_ptr<BM25>> model_class(module, "BM25");
  model_class
      .def(py::init<double, double>(), py::arg("b") = 0.75, py::arg("k1") = 1.2)
      // Pickling keeps the exact state: parameters, counters, every count.
      .def(py::pickle([](const BM25& model) { return py::make_tuple(py::bytes(model.SaveState())); },
                      [](const py::tuple& state) {
                        if (state.size() != 1) throw std::invalid_argument("malformed BM25 state");
                        return BM25::FromState(state[0].cast<std::string_view>());
                      }))
      .def("b", [](const BM25& model) { return model.b(); })
      .def("b", [](BM25& model, double value) { model.b(value); })
      .def("k1", [](const BM25& model) { return model.k1(); })
      .def("k1", [](BM25& model, double value) { model.k1(value); })
      .def("train",
           [](BM25& model, const StringTokenList& list) {
             if (list.tokens.empty()) throw std::runtime_error("trainning tokens_vec should not be empty");
             model.train(list.tokens);
           })
      .def("train",
           [](BM25& model, const IntegerTokenList& list) {
             if (list.tokens.empty()) throw std::runtime_error("trainning tokens_vec should not be empty");
             model.train(list.tokens);
           })
      // The text of a model document (not a path), read as its UTF-8 bytes.
      .def("load", [](BM25& model, std::string_view json_text) { model.load(json_text); })
      .def("dump", [](const BM25& model, const std::string& path) { model.dump(path); })
      .def("encode_document",
           [](const BM25& model, const StringTokenList& list) {
             return StringWeightDict{ToDict(model.encode_document(list.tokens), list.items())};
           })
      .def("encode_document",
           [](const BM25& model, const IntegerTokenList& list) {
             return IntegerWeightDict{ToDict(model.encode_document(list.tokens), list.items())};
           })
      .def("encode_query",
           [](const BM25& model, const StringTokenList& list) {
             return StringWeightDict{ToDict(model.encode_query(list.tokens), list.items())};
           })
      .def("encode_query", [](const BM25& model, const IntegerTokenList& list) {
        return IntegerWeightDict{ToDict(model.encode_query(list.tokens), list.items())};
      });

  bm25_fast_call::model_type = reinterpret_cast<PyTypeObject*>(model_class.ptr());
  direct_call::Install<bm25_fast_call::Train>(model_class, "train");
  direct_call::Install<bm25_fast_call::EncodeDocument>(model_class, "encode_document");
  direct_call::Install<bm25_fast_call::EncodeQuery>(model_class, "encode_query");
}

}  // namespace lumo::bindings
