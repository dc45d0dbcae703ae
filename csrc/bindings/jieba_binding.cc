// The Python class Jieba. A sentence is a str, read as the code points it
// stores, or a bytes object, read as UTF-8, as the standard string conversion
// accepts both; the engine runs without the interpreter lock and gives the
// words as slices of the sentence. Words of a str are made as python_words.h
// says; words of bytes are decoded strictly.
#include <Python.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bindings/direct_call.h"
#include "bindings/lock_release.h"
#include "bindings/python_words.h"
#include "bindings/registration.h"
#include "tokenizer/jieba/jieba.h"

namespace py = pybind11;

namespace lumo::bindings::jieba_detail {

// A sentence argument: a str or bytes object (a bytearray is copied into a
// bytes object, since another thread may resize it while the lock is
// released), held for the call, and a view of its code points or of its
// bytes. Named str for the generated signatures.
struct Sentence {
  py::object owner;
  bool text = false;  // a str: code_points is set, else bytes
  typing::text::jieba::CodePointText code_points;
  std::string_view bytes;
};

// The words of one call as slices of the sentence and, for a str sentence,
// prepared as str words. Named List[str] for the generated signatures. The
// sentence keeps its storage alive.
struct WordList {
  py::object sentence;
  std::string_view bytes;
  std::vector<typing::text::jieba::WordSlice> slices;
  StrWords str_words;
};

// Segments, with the lock released unless the sentence is short: the engine
// touches no Python object. For a str sentence it also prepares its words.
// cut(sentence, slices) takes the code points of a str or the bytes of bytes.
template <typename Cut>
WordList CutReleased(const Sentence& sentence, const Cut& cut) {
  WordList result{sentence.owner, sentence.bytes, {}, {}};
  const auto run = [&] {
    if (sentence.text) {
      cut(sentence.code_points, result.slices);
      result.str_words.Prepare(sentence.code_points, result.slices);
    } else {
      cut(sentence.bytes, result.slices);
    }
  };
  RunUnlessShortReleased(sentence.text ? StoredBytes(sentence.code_points) : sentence.bytes.size(), run);
  return result;
}

// The engine with the five paths it was built from, kept for pickling: the
// pickled state is those paths, and unpickling loads the same files again.
struct PicklableJieba : typing::text::jieba::Jieba {
  using Paths = std::array<std::string, 5>;
  explicit PicklableJieba(const Paths& source)
      : Jieba(source[0], source[1], source[2], source[3], source[4]), paths(source) {}
  Paths paths;
};

// A path as it was given: str, or bytes when it is not UTF-8.
py::object PathObject(const std::string& path) {
  PyObject* text = PyUnicode_DecodeUTF8(path.data(), static_cast<Py_ssize_t>(path.size()), "strict");
  if (text != nullptr) return py::reinterpret_steal<py::object>(text);
  PyErr_Clear();
  return py::bytes(path);
}

// Builds the engine in place. A failed fatal check throws FatalError, which
// the module's error translation turns into RuntimeError.
std::shared_ptr<PicklableJieba> BuildEngine(const PicklableJieba::Paths& paths) {
  return std::make_shared<PicklableJieba>(paths);
}

// Reads a sentence argument. A str is read as its code points; one with a
// lone surrogate has no UTF-8 and does not match, so the call raises
// TypeError as for any other string argument. bytes and bytearray are read
// as they are.
bool LoadSentence(PyObject* object, Sentence& value) {
  if (PyByteArray_Check(object)) {
    value.owner = py::reinterpret_steal<py::object>(
        PyBytes_FromStringAndSize(PyByteArray_AS_STRING(object), PyByteArray_GET_SIZE(object)));
    if (!value.owner) throw py::error_already_set();
    object = value.owner.ptr();
  } else {
    value.owner = py::reinterpret_borrow<py::object>(object);
  }
  if (PyUnicode_Check(object)) {
    if (PyUnicode_READY(object) != 0) throw py::error_already_set();
    value.code_points = StorageOf(object);
    value.text = true;
    return EncodableUnder(value.code_points, SIZE_MAX);
  }
  if (PyBytes_Check(object)) {
    value.bytes = {PyBytes_AS_STRING(object), static_cast<std::size_t>(PyBytes_GET_SIZE(object))};
    return true;
  }
  return false;
}

// The words as a new list. Words of a str are its substrings. A word of bytes
// that is not valid UTF-8 raises UnicodeDecodeError; the partly built list is
// dropped.
PyObject* ListOf(const WordList& words) {
  if (PyUnicode_Check(words.sentence.ptr())) return words.str_words.Build(words.sentence.ptr(), words.slices).release().ptr();
  const auto& slices = words.slices;
  PyObject* list = PyList_New(static_cast<Py_ssize_t>(slices.size()));
  if (list == nullptr) throw py::error_already_set();
  for (std::size_t i = 0; i < slices.size(); ++i) {
    const char* data = words.bytes.data() + slices[i].byte_offset;
    PyObject* word = PyUnicode_DecodeUTF8(data, static_cast<Py_ssize_t>(slices[i].byte_length), "strict");
    if (word == nullptr) {
      Py_DECREF(list);
      throw py::error_already_set();  // the UnicodeDecodeError itself, not a conversion TypeError
    }
    PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), word);
  }
  return list;
}

// The two cut methods.
WordList Cut(const PicklableJieba& engine, const Sentence& sentence) {
  return CutReleased(sentence, [&engine](const auto& text, std::vector<typing::text::jieba::WordSlice>& slices) {
    engine.CutSlices(text, slices);
  });
}
WordList CutForSearch(const PicklableJieba& engine, const Sentence& sentence) {
  return CutReleased(sentence, [&engine](const auto& text, std::vector<typing::text::jieba::WordSlice>& slices) {
    engine.CutForSearchSlices(text, slices);
  });
}

// The direct path of the cut methods: an exact Jieba given one positional
// exact str. Every other call goes to pybind11's dispatcher.
PyTypeObject* jieba_type = nullptr;

template <WordList (*method)(const PicklableJieba&, const Sentence&)>
PyObject* DirectCut(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* const* arguments = direct_call::PositionalArguments(args, nargs, kwnames, 1);
  PyObject* text = arguments != nullptr ? arguments[0] : nullptr;
  if (text != nullptr && PyUnicode_CheckExact(text)) {
    if (const auto* engine = direct_call::ExactInstance<PicklableJieba>(self, jieba_type)) {
      Sentence sentence;
      bool served = true;  // false: a str without UTF-8 form, which the dispatcher rejects
      PyObject* words = direct_call::Served([&]() -> PyObject* {
        served = LoadSentence(text, sentence);
        return served ? ListOf(method(*engine, sentence)) : nullptr;
      });
      if (served) return words;
    }
  }
  return direct_call::CallLibrary<DirectCut<method>>(self, args, nargs, kwnames);
}

}  // namespace lumo::bindings::jieba_detail

namespace pybind11::detail {

template <>
struct type_caster<lumo::bindings::jieba_detail::Sentence> {
  PYBIND11_TYPE_CASTER(lumo::bindings::jieba_detail::Sentence, const_name("str"));
  bool load(handle src, bool) { return lumo::bindings::jieba_detail::LoadSentence(src.ptr(), value); }
};

template <>
struct type_caster<lumo::bindings::jieba_detail::WordList> {
  PYBIND11_TYPE_CASTER(lumo::bindings::jieba_detail::WordList, const_name("List[str]"));
  bool load(handle, bool) { return false; }
  static handle cast(const lumo::bindings::jieba_detail::WordList& src, return_value_policy, handle) {
    return lumo::bindings::jieba_detail::ListOf(src);
  }
};

}  // namespace pybind11::detail

namespace lumo::bindings {

void RegisterJieba(pybind11::module_& module) {
  using namespace jieba_detail;

  // Construction holds the lock throughout.
  py::class_<PicklableJieba, std::shared_ptr<PicklableJieba>> jieba_class(module, "Jieba");
  jieba_class
      .def(py::init([](const std::string& dict_path, const std::string& hmm_path, const std::string& user_dict_path,
                       const std::string& idf_path, const std::string& stop_word_path) {
             return BuildEngine(PicklableJieba::Paths{dict_path, hmm_path, user_dict_path, idf_path, stop_word_path});
           }),
           py::arg("dict_path"), py::arg("hmm_path"), py::arg("user_dict_path"), py::arg("idf_path"),
           py::arg("stop_word_path"))
      // Pickling (and so copy) by the five paths; unpickling builds anew.
      .def(py::pickle(
          [](const PicklableJieba& engine) {
            py::tuple state(engine.paths.size());
            for (std::size_t i = 0; i < engine.paths.size(); ++i) state[i] = PathObject(engine.paths[i]);
            return state;
          },
          [](const py::tuple& state) {
            if (state.size() != 5) throw std::runtime_error("Jieba state must be a tuple of five paths");
            PicklableJieba::Paths paths;
            for (std::size_t i = 0; i < paths.size(); ++i) paths[i] = state[i].cast<std::string>();
            return BuildEngine(paths);
          }))
      .def("cut", &Cut, py::arg("sentence"))
      .def("cut_for_search", &CutForSearch, py::arg("sentence"));
  jieba_type = reinterpret_cast<PyTypeObject*>(jieba_class.ptr());
  direct_call::Install<DirectCut<Cut>>(jieba_class, "cut");
  direct_call::Install<DirectCut<CutForSearch>>(jieba_class, "cut_for_search");
}

}  // namespace lumo::bindings
