// Document vectors of raw texts cut by the segmentation engine: workers cut
// each text, encode its words' UTF-8 and weigh them off the interpreter lock
// with a copy of the encoder's document statistics; the calling thread then
// builds the outputs of encode_documents from their results, a word's str
// only where a dict needs it as a key.
#include <Python.h>
#include <pybind11/pybind11.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "bindings/collector_pause.h"
#include "bindings/lumotext/engine_texts.h"
#include "bindings/lumotext/registration.h"
#include "bindings/lumotext/sparse_output.h"
#include "bindings/lumotext/text_tokens.h"
#include "bindings/python_words.h"
#include "bm25/bm25_encoder.h"

namespace py = pybind11;

namespace lumo::bindings::companion {

namespace {

using typing::text::BM25Encoder;

// A dict entry: the word of a token's first occurrence, and its weight.
struct SliceWeight {
  WordSlice slice;
  double weight;
};

// Where a text's vector lies in its worker's entries.
struct VectorPlace {
  std::uint32_t worker = 0;
  std::size_t begin = 0;
  std::size_t size = 0;
};

// One worker's room and the entries of the vectors it made, in the order it
// made them.
struct TextEncoder {
  TextTokens tokens;
  typing::text::IndexScratch scratch;
  std::vector<IndexedWeight> indexed;  // for the sparse and CSR outputs
  std::vector<SliceWeight> keyed;      // for dicts
};

// The vector of the text at text (a str) as a dict keyed by word.
py::dict KeyedVector(PyObject* text, std::span<const SliceWeight> entries, bool share_short) {
  const CodePointText storage = StorageOf(text);
  return WeightDict(entries, [&](const SliceWeight& entry) {
    const std::uint32_t start = entry.slice.byte_offset;
    return SubstringOf(text, storage, start, start + entry.slice.byte_length, share_short);
  });
}

// encode_documents(cut_batch(texts, mode), output), on `threads` workers.
py::object EncodeTexts(const BM25Encoder& encoder, const Jieba& engine, const py::handle& texts, int mode_number,
                       int output_number, std::size_t threads) {
  const Mode mode = ToMode(mode_number);
  const Output output = ToOutput(output_number);
  const TextBatch batch(texts, 0);
  // The workers read this copy, never the encoder, which other threads may
  // train while the lock is released.
  const BM25Encoder weights = encoder.DocumentWeights();
  std::vector<TextEncoder> workers(batch.Workers(threads));
  std::vector<VectorPlace> places(batch.sources().size());
  batch.Run(workers.size(), [&](std::uint32_t worker, std::size_t i) {
    TextEncoder& room = workers[worker];
    const std::span<const std::string_view> tokens = room.tokens.Cut(engine, mode, batch.sources()[i]);
    if (output == Output::kDict) {
      const typing::text::StringSparseVector vector = weights.EncodeDocument(tokens);
      places[i] = {worker, room.keyed.size(), vector.size()};
      for (const auto& entry : vector) {
        room.keyed.push_back({room.tokens.slices()[entry.first_position], entry.weight});
      }
    } else {
      const std::span<const IndexedWeight> entries = weights.EncodeDocumentIndexed(tokens, room.scratch);
      places[i] = {worker, room.indexed.size(), entries.size()};
      room.indexed.insert(room.indexed.end(), entries.begin(), entries.end());
    }
  });
  // Containers of str, int and float only: no cycle to collect meanwhile.
  const CollectorPause pause;
  const auto indexed = [&](const VectorPlace& place) {
    return std::span<const IndexedWeight>(workers[place.worker].indexed).subspan(place.begin, place.size);
  };
  if (output == Output::kCsr) {
    std::size_t entries = 0;
    for (const VectorPlace& place : places) entries += place.size;
    CsrRows rows(places.size(), entries);
    for (const VectorPlace& place : places) rows.Append(indexed(place));
    return rows.Take();
  }
  const bool share_short = ShortWordCache::Usable();
  py::list vectors(places.size());
  for (std::size_t i = 0; i < places.size(); ++i) {
    const VectorPlace& place = places[i];
    py::object vector;
    if (output == Output::kSparse) {
      vector = ToSparse(indexed(place));
    } else {
      const auto entries = std::span<const SliceWeight>(workers[place.worker].keyed).subspan(place.begin, place.size);
      vector = KeyedVector(batch.item(i), entries, share_short);
    }
    PyList_SET_ITEM(vectors.ptr(), static_cast<Py_ssize_t>(i), vector.release().ptr());
  }
  return vectors;
}

}  // namespace

void RegisterTextEncoding(py::module_& module) {
  module.def("encode_texts", &EncodeTexts, py::arg("encoder"), py::arg("engine"), py::arg("texts"), py::arg("mode"),
             py::arg("output"), py::arg("threads"),
             "Document vectors of the cut of every text, as encode_documents gives them, made on `threads`\n"
             "native threads.");
}

}  // namespace lumo::bindings::companion
