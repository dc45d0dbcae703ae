// lumotext._native.BM25Encoder: the encoder core over whole batches. Token
// lists are read in one pass as views of the items' bytes (str as UTF-8,
// bytes as they are) or as 64-bit ids; they are read while the interpreter
// lock is held and no Python code runs, so the views stay valid. The Python
// class lumotext.BM25Encoder checks arguments and documents the methods.
#include <Python.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <limits>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "bindings/collector_pause.h"
#include "bindings/lumotext/registration.h"
#include "bindings/lumotext/sparse_output.h"
#include "bindings/string_token.h"
#include "bm25/batch_trainer.h"
#include "bm25/bm25_encoder.h"
#include "bm25/token_text.h"

namespace py = pybind11;

namespace lumo::bindings::companion {

namespace {

using typing::text::BM25Encoder;
using typing::text::IdfKind;
using typing::text::IndexedWeight;

std::string TypeName(PyObject* object) { return Py_TYPE(object)->tp_name; }

// The tokens of one document or query: all str/bytes or all int.
struct TokenList {
  py::object sequence;  // keeps the items alive
  PyObject** items = nullptr;
  bool integer = false;
  std::vector<std::string_view> strings;
  std::vector<std::int64_t> ids;
};

// " of document N" for batch calls, nothing for single lists.
std::string Where(Py_ssize_t document) {
  return document < 0 ? std::string() : " of document " + std::to_string(document);
}

// An int, or an integer-like object such as a NumPy integer (__index__).
bool IsIntegerToken(PyObject* item) {
  return PyLong_Check(item) || (PyIndex_Check(item) && !PyFloat_Check(item));
}

bool ReadIntegerToken(PyObject* item, std::int64_t& token) {
  if (!PyLong_Check(item)) {
    if (!IsIntegerToken(item)) return false;
    const auto index = py::reinterpret_steal<py::object>(PyNumber_Index(item));
    if (!index) throw py::error_already_set();
    return ReadIntegerToken(index.ptr(), token);
  }
  int overflow = 0;
  token = PyLong_AsLongLongAndOverflow(item, &overflow);
  if (overflow != 0) {
    throw py::value_error("integer token " + py::repr(item).cast<std::string>() + " does not fit in 64 bits");
  }
  return true;
}

// Reads a token sequence (a list or tuple, or any other sequence but str and
// bytes). Raises TypeError for anything else, for items that are neither str,
// bytes nor int, and for lists that mix the two kinds.
void ReadTokens(PyObject* source, Py_ssize_t document, TokenList& list) {
  if (!PySequence_Check(source) || PyUnicode_Check(source) || PyBytes_Check(source)) {
    throw py::type_error("a token list must be a list of str or of int, not " + TypeName(source) + Where(document));
  }
  PyObject* fast = PySequence_Fast(source, "a token list must be a sequence");
  if (!fast) throw py::error_already_set();
  list.sequence = py::reinterpret_steal<py::object>(fast);
  list.items = PySequence_Fast_ITEMS(fast);
  const auto size = static_cast<std::size_t>(PySequence_Fast_GET_SIZE(fast));
  list.strings.clear();
  list.ids.clear();
  list.integer = size > 0 && IsIntegerToken(list.items[0]);
  if (list.integer && PyList_Check(fast)) {
    // __index__ of an integer-like item runs Python code, which could change
    // the list under the item pointers: read such lists from a tuple copy.
    for (std::size_t i = 0; i < size; ++i) {
      if (PyLong_Check(list.items[i])) continue;
      list.sequence = py::reinterpret_steal<py::object>(PySequence_Tuple(fast));
      if (!list.sequence) throw py::error_already_set();
      list.items = PySequence_Fast_ITEMS(list.sequence.ptr());
      break;
    }
  }
  if (list.integer) {
    list.ids.resize(size);
  } else {
    list.strings.resize(size);
  }
  for (std::size_t i = 0; i < size; ++i) {
    PyObject* item = list.items[i];
    const bool ok = list.integer ? ReadIntegerToken(item, list.ids[i])
                                 : ReadStringToken(item, list.strings[i], Unencodable::kRaise);
    if (ok) continue;
    const bool other_kind = list.integer ? (PyUnicode_Check(item) || PyBytes_Check(item)) : IsIntegerToken(item);
    if (other_kind) {
      throw py::type_error("a token list mixes str and int tokens (item " + std::to_string(i) + Where(document) +
                           ")");
    }
    throw py::type_error("token " + std::to_string(i) + Where(document) + " is " + TypeName(item) +
                         ", not str or int");
  }
}

// The key of each entry: the caller's own item where it is an exact str,
// bytes or int, else a new object of that exact type. Exact keys hash and
// compare without running Python code, so the items stay as they are.
PyObject* KeyOf(PyObject* item, std::int64_t token) {
  if (PyLong_CheckExact(item)) return Py_NewRef(item);
  return PyLong_FromLongLong(token);
}
PyObject* KeyOf(PyObject* item, std::string_view token) {
  if (PyUnicode_CheckExact(item) || PyBytes_CheckExact(item)) return Py_NewRef(item);
  const auto size = static_cast<Py_ssize_t>(token.size());
  return PyUnicode_Check(item) ? PyUnicode_DecodeUTF8(token.data(), size, nullptr)
                               : PyBytes_FromStringAndSize(token.data(), size);
}

template <typename Weights>
py::dict ToDict(const Weights& weights, const TokenList& list) {
  return WeightDict(weights, [&](const auto& entry) { return KeyOf(list.items[entry.first_position], entry.token); });
}

// An estimate of the tokens of a batch: lists and tuples by their sizes.
std::size_t CountTokens(PyObject* const* documents, Py_ssize_t count) {
  std::size_t tokens = 0;
  for (Py_ssize_t d = 0; d < count; ++d) {
    if (PyList_Check(documents[d]) || PyTuple_Check(documents[d])) tokens += static_cast<std::size_t>(Py_SIZE(documents[d]));
  }
  return tokens;
}

// Encodes every token list of documents with encode (the document or the
// query encoder; encode_indexed gives the same vector keyed by index) into
// the requested output: a list of dicts, a list of {"indices", "values"}
// dicts, or the (indptr, indices, data) byte arrays of a CSR matrix (int64,
// int64, float64).
template <typename Encode, typename EncodeIndexed>
py::object EncodeBatch(const BM25Encoder& encoder, py::handle documents, Output output, Encode encode,
                       EncodeIndexed encode_indexed) {
  // A tuple: token reading may run Python code (__index__), which must not
  // change the sequence under the item pointers.
  py::object held = py::reinterpret_steal<py::object>(PySequence_Tuple(documents.ptr()));
  if (!held) throw py::error_already_set();
  const Py_ssize_t count = PySequence_Fast_GET_SIZE(held.ptr());
  PyObject** items = PySequence_Fast_ITEMS(held.ptr());
  py::list vectors(output == Output::kCsr ? 0 : count);
  std::optional<CsrRows> rows;
  if (output == Output::kCsr) rows.emplace(static_cast<std::size_t>(count), CountTokens(items, count));
  typing::text::IndexScratch index_scratch;
  TokenList list;
  for (Py_ssize_t d = 0; d < count; ++d) {
    ReadTokens(items[d], d, list);
    py::object vector;
    // The same three outputs for tokens that are ids or texts.
    const auto emit = [&](auto tokens) {
      if (output == Output::kDict) {
        vector = ToDict(encode(encoder, tokens), list);
      } else if (output == Output::kSparse) {
        vector = ToSparse(encode_indexed(encoder, tokens, index_scratch));
      } else {
        rows->Append(encode_indexed(encoder, tokens, index_scratch));
      }
    };
    if (list.integer) {
      emit(std::span<const std::int64_t>(list.ids));
    } else {
      emit(std::span<const std::string_view>(list.strings));
    }
    if (output != Output::kCsr) PyList_SET_ITEM(vectors.ptr(), d, vector.release().ptr());
  }
  if (output != Output::kCsr) return vectors;
  return rows->Take();
}

void TrainOne(BM25Encoder& encoder, PyObject* tokens, Py_ssize_t document, TokenList& list) {
  ReadTokens(tokens, document, list);
  if (list.integer) {
    encoder.Train(std::span<const std::int64_t>(list.ids));
  } else {
    encoder.Train(std::span<const std::string_view>(list.strings));
  }
}

// Batches of fewer tokens train on the calling thread alone: a helper thread
// costs more to start than it saves them.
constexpr std::size_t kTwoThreadTokens = std::size_t{1} << 16;

// Whether reading a document, and releasing what reading it holds, runs no
// Python code: an exact list or tuple of exact str, bytes and int.
bool IsPlainTokenList(PyObject* document) {
  if (!PyList_CheckExact(document) && !PyTuple_CheckExact(document)) return false;
  PyObject* const* items = PySequence_Fast_ITEMS(document);
  for (Py_ssize_t i = 0; i < Py_SIZE(document); ++i) {
    const PyTypeObject* type = Py_TYPE(items[i]);
    if (type != &PyUnicode_Type && type != &PyLong_Type && type != &PyBytes_Type) return false;
  }
  return true;
}

// Trains documents in order, on two threads when allowed and worth it. An
// error stops training at its document, with the documents before it
// trained. The helper thread reads only copies of the tokens, and no Python
// code (which could use the encoder) runs while it trains: the calling
// thread keeps the interpreter lock throughout, the garbage collector is
// paused, and a document whose reading could run Python code (a sequence's
// own iteration, an item's __index__ or __del__) is read, and let go, while
// the helper waits.
void TrainBatch(BM25Encoder& encoder, py::handle documents, Py_ssize_t first_index, int threads) {
  py::object held = py::reinterpret_steal<py::object>(PySequence_Tuple(documents.ptr()));
  if (!held) throw py::error_already_set();
  const Py_ssize_t count = PySequence_Fast_GET_SIZE(held.ptr());
  PyObject** items = PySequence_Fast_ITEMS(held.ptr());
  TokenList list;
  std::optional<typing::text::BatchTrainer> two_threads;
  if (threads >= 2 && CountTokens(items, count) >= kTwoThreadTokens) {
    try {
      two_threads.emplace(encoder);
    } catch (const std::system_error&) {  // no thread to start: this one trains alone
    }
  }
  if (!two_threads) {
    for (Py_ssize_t d = 0; d < count; ++d) TrainOne(encoder, items[d], first_index + d, list);
    return;
  }
  typing::text::BatchTrainer& trainer = *two_threads;
  const CollectorPause pause;
  std::exception_ptr read_error;
  try {
    for (Py_ssize_t d = 0; d < count; ++d) {
      const bool plain = IsPlainTokenList(items[d]);
      if (!plain && !trainer.Drain()) break;
      ReadTokens(items[d], first_index + d, list);
      if (list.integer) {
        trainer.Add(std::span<const std::int64_t>(list.ids));
      } else {
        trainer.Add(std::span<const std::string_view>(list.strings));
      }
      if (!plain) list.sequence = py::object();
      if (!trainer.HandOverWhenFull()) break;
    }
  } catch (...) {
    read_error = std::current_exception();
  }
  trainer.Finish();  // a training error comes from an earlier document
  if (read_error) std::rethrow_exception(read_error);
}

// The token text of one str, bytes or int token: the key of its counts.
std::string TokenText(py::handle token) {
  std::string_view text;
  if (ReadStringToken(token.ptr(), text, Unencodable::kRaise)) return std::string(text);
  std::int64_t id = 0;
  if (ReadIntegerToken(token.ptr(), id)) {
    typing::text::TokenTextBuffer buffer;
    return std::string(typing::text::IntegerTokenText(id, buffer));
  }
  throw py::type_error("a token is str or int, not " + TypeName(token.ptr()));
}

IdfKind KindOf(bool document_idf) { return document_idf ? IdfKind::kDocument : IdfKind::kCorpus; }

}  // namespace

void RegisterBM25Encoder(pybind11::module_& module) {
  const auto encode_document = [](const BM25Encoder& encoder, auto tokens) { return encoder.EncodeDocument(tokens); };
  const auto encode_query = [](const BM25Encoder& encoder, auto tokens) { return encoder.EncodeQuery(tokens); };
  const auto encode_document_indexed = [](const BM25Encoder& encoder, auto tokens, typing::text::IndexScratch& scratch) {
    return encoder.EncodeDocumentIndexed(tokens, scratch);
  };
  const auto encode_query_indexed = [](const BM25Encoder& encoder, auto tokens, typing::text::IndexScratch& scratch) {
    return ToIndexed(encoder.EncodeQuery(tokens), scratch);
  };

  py::class_<BM25Encoder>(module, "BM25Encoder")
      .def(py::init([](double b, double k1, bool document_idf) { return BM25Encoder(b, k1, KindOf(document_idf)); }),
           py::arg("b"), py::arg("k1"), py::arg("document_idf"))
      .def("train", [](BM25Encoder& encoder, py::handle tokens) {
        TokenList list;
        TrainOne(encoder, tokens.ptr(), -1, list);
      })
      .def("train_batch", &TrainBatch)
      .def("encode_documents",
           [=](const BM25Encoder& encoder, py::handle documents, int output) {
             return EncodeBatch(encoder, documents, ToOutput(output), encode_document,
                                encode_document_indexed);
           })
      .def("encode_queries",
           [=](const BM25Encoder& encoder, py::handle queries, int output) {
             return EncodeBatch(encoder, queries, ToOutput(output), encode_query, encode_query_indexed);
           })
      .def_property_readonly("b", [](const BM25Encoder& encoder) { return encoder.model().b(); })
      .def_property_readonly("k1", [](const BM25Encoder& encoder) { return encoder.model().k1(); })
      .def_property_readonly("document_idf",
                             [](const BM25Encoder& encoder) { return encoder.idf() == IdfKind::kDocument; })
      .def_property_readonly("document_frequency_known", &BM25Encoder::document_frequency_known)
      .def_property_readonly("doc_count", [](const BM25Encoder& encoder) { return encoder.model().doc_count(); })
      .def_property_readonly("doc_length_total",
                             [](const BM25Encoder& encoder) { return encoder.model().doc_length_total(); })
      .def_property_readonly("avg_doc_length",
                             [](const BM25Encoder& encoder) { return encoder.model().doc_length_average(); })
      .def_property_readonly("vocabulary_size",
                             [](const BM25Encoder& encoder) { return encoder.model().distinct_token_count(); })
      .def("token_count", [](const BM25Encoder& encoder, py::handle token) { return encoder.TokenCount(TokenText(token)); })
      .def("document_frequency",
           [](const BM25Encoder& encoder, py::handle token) { return encoder.DocumentFrequency(TokenText(token)); })
      .def("idf", [](const BM25Encoder& encoder, py::handle token) { return encoder.Idf(TokenText(token)); })
      .def("merge", &BM25Encoder::Merge)
      .def("same_statistics", &BM25Encoder::SameStatistics)
      .def("state", [](const BM25Encoder& encoder) { return py::bytes(encoder.SaveState()); })
      .def_static("from_state",
                  [](std::string_view state, bool document_idf) {
                    return BM25Encoder::FromState(state, KindOf(document_idf));
                  })
      .def("save", &BM25Encoder::Save)
      .def_static("load", [](std::string_view json_text, bool document_idf) {
        return BM25Encoder::Load(json_text, KindOf(document_idf));
      });
}

}  // namespace lumo::bindings::companion
