#include "bindings/lumotext/engine_texts.h"

#include <stdexcept>
#include <string>

#include "bindings/lumotext/text_workers.h"
#include "bindings/python_words.h"
#include "tokenizer/jieba/engine_operations.h"

namespace py = pybind11;

namespace lumo::bindings::companion {

namespace {

// Raises the current Python error again as `kind` with "texts[index]: "
// before its message, chained to the original.
[[noreturn]] void RaiseForItem(py::error_already_set& error, PyObject* kind, std::size_t index) {
  const std::string message = "texts[" + std::to_string(index) + "]: " + py::str(error.value()).cast<std::string>();
  py::raise_from(error, kind, message.c_str());
  throw py::error_already_set();
}

// The code points of texts[i] as CodePointsOf gives them, its errors raised
// as ValueError naming the index.
CodePointText CheckedCodePointsOf(PyObject* item, std::size_t i) {
  try {
    return CodePointsOf(item);
  } catch (py::error_already_set& error) {
    RaiseForItem(error, PyExc_ValueError, i);
  } catch (py::value_error& error) {
    throw py::value_error("texts[" + std::to_string(i) + "]: " + error.what());
  }
}

}  // namespace

Mode ToMode(int mode) {
  if (mode < 0 || mode > 2) throw py::value_error("mode must be 0, 1 or 2");
  return static_cast<Mode>(mode);
}

void CutSlices(const Jieba& engine, Mode mode, const CodePointText& text, std::vector<WordSlice>& slices) {
  switch (mode) {
    case Mode::kDefault: engine.CutSlices(text, slices); break;
    case Mode::kSearch: engine.CutForSearchSlices(text, slices); break;
    case Mode::kFull: typing::text::jieba::CutAllSlices(engine, text, slices); break;
  }
}

std::string_view Utf8Of(PyObject* text) {
  if (!PyUnicode_Check(text)) {
    throw py::type_error(std::string("text must be str, not ") + Py_TYPE(text)->tp_name);
  }
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(text, &size);
  if (data == nullptr) throw py::error_already_set();
  if (static_cast<std::uint64_t>(size) >= kTextLimit) {
    throw py::value_error("text too long: the segmenter takes texts under 4 GiB of UTF-8");
  }
  return {data, static_cast<std::size_t>(size)};
}

CodePointText CodePointsOf(PyObject* text) {
  if (!PyUnicode_Check(text)) {
    throw py::type_error(std::string("text must be str, not ") + Py_TYPE(text)->tp_name);
  }
  if (PyUnicode_READY(text) != 0) throw py::error_already_set();
  const CodePointText code_points = StorageOf(text);
  if (!EncodableUnder(code_points, kTextLimit)) Utf8Of(text);  // raises
  return code_points;
}

TextBatch::TextBatch(const py::handle& texts, std::size_t first_index)
    : items_(py::reinterpret_steal<py::tuple>(PySequence_Tuple(texts.ptr()))), first_index_(first_index) {
  if (!items_) throw py::error_already_set();
  sources_.resize(items_.size());
  for (std::size_t i = 0; i < sources_.size(); ++i) {
    PyObject* text = item(i);
    if (!PyUnicode_Check(text)) {
      throw py::type_error("texts[" + std::to_string(first_index + i) + "] must be str, not " + Py_TYPE(text)->tp_name);
    }
    if (PyUnicode_READY(text) != 0) throw py::error_already_set();
    sources_[i] = StorageOf(text);
  }
}

void TextBatch::Run(std::size_t workers, const std::function<void(std::uint32_t, std::size_t)>& work) const {
  if (sources_.empty()) return;
  // A text with a surrogate, or whose UTF-8 reaches the limit: checked by the
  // workers, off the lock; the caller then finds the first such text.
  struct UnencodableText {};
  try {
    RunOnWorkers(sources_.size(), workers, [&](std::uint32_t worker, std::size_t i) {
      if (!EncodableUnder(sources_[i], kTextLimit)) throw UnencodableText{};
      work(worker, i);
    });
  } catch (const UnencodableText&) {
    for (std::size_t i = 0; i < sources_.size(); ++i) CheckedCodePointsOf(item(i), first_index_ + i);
    throw std::logic_error("a text could not be encoded, yet each has UTF-8");
  }
}

}  // namespace lumo::bindings::companion
