// The native engine of lumotext.Segmenter. Texts are str only: the engine
// reads the code points each str stores (alive for the call), without the
// interpreter lock, and every word comes back as a piece of the original str
// at the code point offsets it gives. Tagging and keywords read UTF-8.
#include <Python.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "bindings/collector_pause.h"
#include "bindings/direct_call.h"
#include "bindings/lock_release.h"
#include "bindings/lumotext/engine_texts.h"
#include "bindings/lumotext/registration.h"
#include "bindings/python_words.h"
#include "bindings/word_table.h"
#include "tokenizer/jieba/data_file_check.h"
#include "tokenizer/jieba/engine_operations.h"
#include "tokenizer/jieba/jieba.h"
#include "common/log_sink.h"

namespace py = pybind11;

namespace lumo::bindings::companion {

namespace {

// (word, start, end) of every word of text at slices (code point slices).
// Consecutive words usually meet (one's end is the next one's start), so an
// offset equal to the previous end reuses that int object: about one new int
// per word instead of two.
py::list TokenList(PyObject* text, const std::vector<WordSlice>& slices) {
  const CodePointText storage = StorageOf(text);
  py::list tokens(slices.size());
  PyObject* previous_end = nullptr;  // borrowed from the previous token
  std::uint32_t previous_stop = 0;
  const bool share_short = ShortWordCache::Usable();
  for (std::size_t i = 0; i < slices.size(); ++i) {
    const std::uint32_t first = slices[i].byte_offset;
    const std::uint32_t stop = first + slices[i].byte_length;
    PyObject* token = PyTuple_New(3);
    if (token == nullptr) throw py::error_already_set();
    PyList_SET_ITEM(tokens.ptr(), static_cast<Py_ssize_t>(i), token);
    PyTuple_SET_ITEM(token, 0, SubstringOf(text, storage, first, stop, share_short));
    PyObject* start = previous_end != nullptr && first == previous_stop ? Py_NewRef(previous_end)
                                                                          : PyLong_FromUnsignedLong(first);
    if (start == nullptr) throw py::error_already_set();
    PyTuple_SET_ITEM(token, 1, start);
    PyObject* end = PyLong_FromUnsignedLong(stop);
    if (end == nullptr) throw py::error_already_set();
    PyTuple_SET_ITEM(token, 2, end);
    previous_end = end;
    previous_stop = stop;
    // Only str and int inside: no cycle can pass through it, so the
    // collector need not visit it.
    PyObject_GC_UnTrack(token);
  }
  return tokens;
}

// Segments one text into code point slices, off the lock unless it is short.
std::vector<WordSlice> SlicesOf(const Jieba& engine, Mode mode, const CodePointText& text) {
  std::vector<WordSlice> slices;
  RunUnlessShortReleased(StoredBytes(text), [&] { CutSlices(engine, mode, text, slices); });
  return slices;
}

// The words of text in mode, as a new list.
py::list CutText(const Jieba& engine, PyObject* text, Mode mode) {
  const CodePointText code_points = CodePointsOf(text);
  StrWords words;
  std::vector<WordSlice> slices;
  RunUnlessShortReleased(StoredBytes(code_points), [&] {
    CutSlices(engine, mode, code_points, slices);
    words.Prepare(code_points, slices);
  });
  return words.Build(text, slices);
}

// The direct path of cut: an exact Engine given an exact str and an exact int
// mode, by position. Every other call goes to pybind11's dispatcher.
PyTypeObject* engine_type = nullptr;

PyObject* DirectCut(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* const* arguments = direct_call::PositionalArguments(args, nargs, kwnames, 2);
  if (arguments != nullptr && PyUnicode_CheckExact(arguments[0]) && PyLong_CheckExact(arguments[1])) {
    const long mode = PyLong_AsLong(arguments[1]);
    const auto* engine = direct_call::ExactInstance<Jieba>(self, engine_type);
    if (engine != nullptr && mode >= 0 && mode <= 2) {
      return direct_call::Served(
          [&] { return CutText(*engine, arguments[0], ToMode(static_cast<int>(mode))).release().ptr(); });
    }
    PyErr_Clear();  // a mode past long: the dispatcher raises for it
  }
  return direct_call::CallLibrary<DirectCut>(self, args, nargs, kwnames);
}

// The cut of one text: the word table that numbers its words (by worker and
// unit width: words of texts of other widths have other bytes), and the
// numbers in order.
struct InternedWords {
  std::uint32_t table = 0;
  std::vector<std::uint32_t> numbers;
};

// Word tables per worker, one for each unit width 1, 2 and 4.
constexpr std::uint32_t kTablesPerWorker = 3;
std::uint32_t WidthIndex(unsigned width) { return width == 1 ? 0 : width == 2 ? 1 : 2; }
unsigned WidthOfTable(std::uint32_t table) { return 1u << (table % kTablesPerWorker); }

// Cuts many texts on worker threads (RunOnWorkers), each worker numbering
// the words of its texts in word tables of its own.
class BatchRun {
 public:
  BatchRun(const Jieba& engine, Mode mode, const TextBatch& batch)
      : engine_(engine), mode_(mode), batch_(batch), texts_(batch.sources()), results_(texts_.size()) {}

  // Cuts every text with `threads` workers; throws as TextBatch::Run.
  void Run(std::size_t threads) {
    tables_.resize(threads * kTablesPerWorker);
    slices_.resize(threads);
    // Room for a share of the batch's words, so that a small batch does not
    // clear tables sized for a large one; a table grows as it fills.
    std::size_t units = 0;
    for (const CodePointText& text : texts_) units += text.size;
    table_words_ = std::clamp<std::size_t>(units / threads / 4, 8, 512);
    batch_.Run(threads, [this](std::uint32_t worker, std::size_t i) { Cut(worker, i); });
  }

  // The word lists, in input order. Holds the lock. Every list and every
  // distinct word's str is made first; then each str's reference count is
  // raised once by its number of uses and the lists are filled with plain
  // pointer stores, rather than touching a str (often out of cache) per
  // occurrence. Nothing can fail after the first count is raised. The cyclic
  // garbage collector is paused meanwhile, since lists of str cannot form
  // cycles and its passes over the growing result would cost more than
  // building it.
  py::list Results() const {
    const CollectorPause pause;
    py::list results(results_.size());
    for (std::size_t i = 0; i < results_.size(); ++i) {
      PyObject* words = PyList_New(static_cast<Py_ssize_t>(results_[i].numbers.size()));
      if (words == nullptr) throw py::error_already_set();
      PyList_SET_ITEM(results.ptr(), static_cast<Py_ssize_t>(i), words);  // empty slots until filled below
    }
    std::vector<std::vector<py::object>> objects;
    objects.reserve(tables_.size());
    for (std::uint32_t t = 0; t < tables_.size(); ++t) {
      objects.push_back(tables_[t] ? WordObjects(*tables_[t], WidthOfTable(t)) : std::vector<py::object>());
    }
    for (std::size_t t = 0; t < tables_.size(); ++t) {
      if (tables_[t]) AddUseReferences(objects[t], tables_[t]->Uses());
    }
    for (std::size_t i = 0; i < results_.size(); ++i) {
      const InternedWords& cut = results_[i];
      const std::vector<py::object>& known = objects[cut.table];
      PyObject* words = PyList_GET_ITEM(results.ptr(), static_cast<Py_ssize_t>(i));
      for (std::size_t k = 0; k < cut.numbers.size(); ++k) {
        PyList_SET_ITEM(words, static_cast<Py_ssize_t>(k), known[cut.numbers[k]].ptr());
      }
    }
    return results;
  }

 private:
  void Cut(std::uint32_t worker, std::size_t i) {
    const CodePointText& text = texts_[i];
    std::vector<WordSlice>& slices = slices_[worker];
    CutSlices(engine_, mode_, text, slices);
    InternedWords& cut = results_[i];
    cut.table = worker * kTablesPerWorker + WidthIndex(text.width);
    std::optional<WordTable>& slot = tables_[cut.table];
    WordTable& table = slot ? *slot : slot.emplace(table_words_);
    cut.numbers.resize(slices.size());
    for (std::size_t k = 0; k < slices.size(); ++k) cut.numbers[k] = table.Intern(UnitBytes(text, slices[k]));
  }

  const Jieba& engine_;
  const Mode mode_;
  const TextBatch& batch_;
  const std::vector<CodePointText>& texts_;
  std::vector<InternedWords> results_;
  // kTablesPerWorker per worker, made and written by that worker only, when
  // it meets a text of the table's width.
  std::vector<std::optional<WordTable>> tables_;
  std::size_t table_words_ = 0;  // the room a table starts with, set by Run
  std::vector<std::vector<WordSlice>> slices_;  // each worker's
};

py::list CutBatch(const Jieba& engine, const py::handle& texts, int mode_number, std::size_t threads) {
  const Mode mode = ToMode(mode_number);
  if (threads == 0) throw py::value_error("threads must be at least 1");
  const TextBatch batch(texts, 0);
  BatchRun run(engine, mode, batch);
  run.Run(batch.Workers(threads));
  return run.Results();
}

// Builds the engine off the lock, its log lines collected on this thread and
// handed to log(level, source, message) afterwards, in order; then a failed
// fatal check goes on as FatalError (ValueError in Python).
std::shared_ptr<Jieba> BuildEngine(const std::string& dict_path, const std::string& hmm_path,
                                   const std::string& user_dict_paths, const std::string& idf_path,
                                   const std::string& stop_word_path, const py::object& log) {
  using typing::text::jieba::LogLine;
  std::vector<std::tuple<int, std::string, std::string>> lines;
  std::shared_ptr<Jieba> engine;
  std::exception_ptr fatal;
  {
    py::gil_scoped_release release;
    typing::text::jieba::ScopedLogSink sink([&lines](const LogLine& line) {
      lines.emplace_back(static_cast<int>(line.level), std::string(line.source), std::string(line.message));
    });
    try {
      engine = std::make_shared<Jieba>(dict_path, hmm_path, user_dict_paths, idf_path, stop_word_path);
    } catch (const typing::text::jieba::FatalError&) {
      fatal = std::current_exception();
    }
  }
  for (const auto& [level, source, message] : lines) log(level, source, message);
  if (fatal) std::rethrow_exception(fatal);
  return engine;
}

py::object CheckDataFiles(const std::string& dict_path, const std::string& hmm_path,
                          const std::string& user_dict_paths, const std::string& idf_path,
                          const std::string& stop_word_path) {
  using Kind = typing::text::jieba::DataFileProblem::Kind;
  typing::text::jieba::DataFileProblem problem;
  {
    py::gil_scoped_release release;
    problem = typing::text::jieba::CheckDataFiles(dict_path, hmm_path, user_dict_paths, idf_path, stop_word_path);
  }
  if (problem.kind == Kind::kNone) return py::none();
  const py::object path = py::reinterpret_steal<py::object>(
      PyUnicode_DecodeFSDefaultAndSize(problem.path.data(), static_cast<Py_ssize_t>(problem.path.size())));
  if (!path) throw py::error_already_set();
  return py::make_tuple(problem.kind == Kind::kCannotOpen ? "open" : "malformed", path, problem.error_number,
                        problem.line_number, problem.reason);
}

}  // namespace

void RegisterSegmenter(py::module_& module) {
  module.def("check_data_files", &CheckDataFiles, py::arg("dict_path"), py::arg("hmm_path"),
             py::arg("user_dict_path"), py::arg("idf_path"), py::arg("stop_word_path"),
             "None when the five data files open and their format lets an engine be built, else\n"
             "(kind, path, errno, line, reason) of the first problem: kind 'open' or 'malformed'.");

  py::class_<Jieba, std::shared_ptr<Jieba>> engine_class(module, "Engine", py::module_local(),
                                                        "A built segmentation engine; read-only, shared by threads.");
  engine_class
      .def(py::init(&BuildEngine), py::arg("dict_path"), py::arg("hmm_path"), py::arg("user_dict_path"),
           py::arg("idf_path"), py::arg("stop_word_path"), py::arg("log"))
      .def(
          "cut",
          [](const Jieba& engine, const py::handle& text, int mode) {
            const Mode checked = ToMode(mode);
            return CutText(engine, text.ptr(), checked);
          },
          py::arg("text"), py::arg("mode"), "The words of text in mode 0 (default), 1 (search) or 2 (full).")
      .def(
          "tokenize",
          [](const Jieba& engine, const py::handle& text, int mode) {
            const Mode checked = ToMode(mode);
            return TokenList(text.ptr(), SlicesOf(engine, checked, CodePointsOf(text.ptr())));
          },
          py::arg("text"), py::arg("mode"), "(word, start, end) of every word, offsets in code points.")
      .def(
          "tag",
          [](const Jieba& engine, const py::handle& text) {
            const std::string_view utf8 = Utf8Of(text.ptr());
            std::vector<std::pair<std::string, std::string>> tagged;
            RunUnlessShortReleased(utf8.size(), [&] { typing::text::jieba::TagWords(engine, utf8, tagged); });
            py::list pairs(tagged.size());
            for (std::size_t i = 0; i < tagged.size(); ++i) {
              PyList_SET_ITEM(pairs.ptr(), static_cast<Py_ssize_t>(i),
                              py::make_tuple(py::str(tagged[i].first), py::str(tagged[i].second)).release().ptr());
            }
            return pairs;
          },
          py::arg("text"), "(word, tag) of every word of the default cut.")
      .def(
          "extract_keywords",
          [](const Jieba& engine, const py::handle& text, std::int64_t top_k) {
            const std::string_view utf8 = Utf8Of(text.ptr());
            std::vector<typing::text::jieba::Keyword> keywords;
            RunUnlessShortReleased(utf8.size(),
                                   [&] { keywords = typing::text::jieba::ExtractKeywords(engine, utf8, top_k); });
            py::list result(keywords.size());
            for (std::size_t i = 0; i < keywords.size(); ++i) {
              PyList_SET_ITEM(result.ptr(), static_cast<Py_ssize_t>(i),
                              py::make_tuple(py::str(keywords[i].word), keywords[i].weight).release().ptr());
            }
            return result;
          },
          py::arg("text"), py::arg("top_k"), "(word, weight) of the best top_k keywords (all when negative).")
      .def("cut_batch", &CutBatch, py::arg("texts"), py::arg("mode"), py::arg("threads"),
           "The words of every text, in input order, cut by `threads` native threads.");
  engine_type = reinterpret_cast<PyTypeObject*>(engine_class.ptr());
  direct_call::Install<DirectCut>(engine_class, "cut");
}

}  // namespace lumo::bindings::companion
