// The texts of the lumotext engine's calls: the three cuts by number, and
// the checks that turn str objects into code points for the engine, with the
// errors each call raises for a text it cannot take.
#pragma once

#include <Python.h>
#include <pybind11/pybind11.h>

#include <cstddef>
#include <cstdint>
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

// A text with a surrogate, or whose UTF-8 reaches the engine's limit, met by
// a batch's worker; the caller finds which with RaiseForFirstUnencodable.
struct UnencodableText {};

// The storage of every item of a batch, each item named texts[first_index +
// i] in the TypeError raised for one that is not a str. Surrogates and the
// size limit are left to the workers (EncodableUnder), off the lock.
std::vector<CodePointText> BatchTexts(const pybind11::tuple& items, std::size_t first_index);

// Raises ValueError for the first item with no UTF-8 under the limit, naming
// it as BatchTexts does, as a text-by-text check would.
[[noreturn]] void RaiseForFirstUnencodable(const pybind11::tuple& items, std::size_t first_index);

}  // namespace lumo::bindings::companion
