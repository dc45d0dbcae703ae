// The texts of the lumotext engine's calls: the three cuts by number, and
// the checks that turn str objects into code points for the engine, with the
// errors each call raises for a text it cannot take.
#pragma once

#include <Python.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <string_view>
#include <vector>

#include "tokenizer/jieba/jieba.h"
#include "tokenizer/jieba/rune.h"
#include "tokenizer/jieba/word_record.h"

namespace lumo::bindings::companion {

using typing::text::jieba::CodePointText;
using typing::text::jieba::Jieba;
using typing::text::jieba::WordSlice;

// The three cuts: Cut, CutForSearch, the full segmenter. Numbered as the
// Python layer passes them.
enum class Mode : int { kDefault = 0, kSearch = 1, kFull = 2 };

Mode ToMode(int mode);

void CutSlices(const Jieba& engine, Mode mode, const CodePointText& text, std::vector<WordSlice>& slices);

// The engine takes texts under 4 GiB of UTF-8.
inline constexpr std::size_t kTextLimit = std::numeric_limits<std::uint32_t>::max();

// The UTF-8 view of a str; TypeError for anything else, UnicodeEncodeError
// for a str with a lone surrogate, ValueError past the engine's 4 GiB limit.
std::string_view Utf8Of(PyObject* text);

// The code points of a str, with the errors of Utf8Of for a str that has no
// UTF-8 under the limit.
CodePointText CodePointsOf(PyObject* text);

// The texts of a batch call: a tuple that holds a reference to each, whatever
// happens to the caller's sequence while the lock is released, and their
// storage. Errors name each text as texts[first_index + i].
class TextBatch {
 public:
  // TypeError for an item that is not a str.
  TextBatch(const pybind11::handle& texts, std::size_t first_index);

  const std::vector<CodePointText>& sources() const { return sources_; }
  PyObject* item(std::size_t i) const { return PyTuple_GET_ITEM(items_.ptr(), static_cast<Py_ssize_t>(i)); }
  // The workers a call with `threads` runs: no more than texts. ValueError
  // for 0 threads.
  std::size_t Workers(std::size_t threads) const {
    if (threads == 0) throw pybind11::value_error("threads must be at least 1");
    return std::max<std::size_t>(std::min(threads, sources_.size()), 1);
  }

  // RunOnWorkers(size, workers, work) for a batch of texts, each text
  // checked for UTF-8 under the engine's limit before its work; ValueError
  // for the first text, in order, that has none. workers is Workers(threads).
  void Run(std::size_t workers, const std::function<void(std::uint32_t worker, std::size_t index)>& work) const;

 private:
  pybind11::tuple items_;
  std::vector<CodePointText> sources_;
  std::size_t first_index_;
};

}  // namespace lumo::bindings::companion
