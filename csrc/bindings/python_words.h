// Words as Python str objects, cut out of the str they came from: a word is
// text[start:end] at code point offsets, which copies code units and skips
// UTF-8 decoding (and its resizing of the new object), and gives CPython's
// shared object for a one-character Latin-1 word. Both extension modules
// build their word lists here.
#pragma once

#include <Python.h>
#include <pybind11/pybind11.h>

#include <vector>

#include "tokenizer/jieba/engine_operations.h"

namespace lumo::bindings {

using typing::text::jieba::CodePointSpan;

// text[span.start:span.end], a new reference. Throws error_already_set.
inline PyObject* SubstringOf(PyObject* text, const CodePointSpan& span) {
  PyObject* word = PyUnicode_Substring(text, span.start, span.end);
  if (word == nullptr) throw pybind11::error_already_set();
  return word;
}

// A new list of the words of text at spans, in order.
inline pybind11::list WordListOf(PyObject* text, const std::vector<CodePointSpan>& spans) {
  pybind11::list words(spans.size());
  for (std::size_t i = 0; i < spans.size(); ++i) {
    PyList_SET_ITEM(words.ptr(), static_cast<Py_ssize_t>(i), SubstringOf(text, spans[i]));
  }
  return words;
}

}  // namespace lumo::bindings
