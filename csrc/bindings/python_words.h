// Words of a str as Python str objects, for both extension modules. A short
// text's words are cut out of it at code point offsets: that copies code
// units and skips UTF-8 decoding (and its resizing of the new object), and
// gives CPython's shared object for a one-character Latin-1 word. A long
// text's distinct words are numbered off the interpreter lock and each
// becomes one str shared by its uses: fewer objects to make while the lock is
// held, which is what other threads wait for.
#pragma once

#include <Python.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "bindings/word_table.h"
#include "tokenizer/jieba/engine_operations.h"
#include "tokenizer/jieba/word_record.h"

namespace lumo::bindings {

using typing::text::jieba::CodePointSpan;
using typing::text::jieba::WordSlice;

// text[span.start:span.end], a new reference. Throws error_already_set.
inline PyObject* SubstringOf(PyObject* text, const CodePointSpan& span) {
  PyObject* word = PyUnicode_Substring(text, span.start, span.end);
  if (word == nullptr) throw pybind11::error_already_set();
  return word;
}

// The words of one str, prepared off the lock from the slices of its UTF-8
// and made into a list with it.
class StrWords {
 public:
  // From this many words on, words are shared (measured: bench/bench_jieba.py,
  // 64 KB calls on two threads).
  static constexpr std::size_t kShareFrom = 128;

  // Needs no lock. utf8 is the str's UTF-8 (valid, so every slice lies on
  // character boundaries) and must outlive Build.
  void Prepare(std::string_view utf8, const std::vector<WordSlice>& slices) {
    if (slices.size() < kShareFrom) {
      typing::text::jieba::SlicesToCodePointSpans(utf8, slices, spans_);
      return;
    }
    WordTable& table = table_.emplace(slices.size());
    numbers_.resize(slices.size());
    for (std::size_t k = 0; k < slices.size(); ++k) {
      numbers_[k] = table.Intern(utf8.substr(slices[k].byte_offset, slices[k].byte_length));
    }
  }

  // With the lock: a new list of the words of text, in order.
  pybind11::list Build(PyObject* text) const {
    if (!table_) {
      pybind11::list words(spans_.size());
      for (std::size_t i = 0; i < spans_.size(); ++i) {
        PyList_SET_ITEM(words.ptr(), static_cast<Py_ssize_t>(i), SubstringOf(text, spans_[i]));
      }
      return words;
    }
    pybind11::list words(numbers_.size());
    const std::vector<pybind11::object> objects = WordObjects(*table_);
    AddUseReferences(objects, table_->Uses());  // nothing can fail from here on
    for (std::size_t k = 0; k < numbers_.size(); ++k) {
      PyList_SET_ITEM(words.ptr(), static_cast<Py_ssize_t>(k), objects[numbers_[k]].ptr());
    }
    return words;
  }

 private:
  std::vector<CodePointSpan> spans_;
  std::optional<WordTable> table_;
  std::vector<std::uint32_t> numbers_;
};

}  // namespace lumo::bindings
