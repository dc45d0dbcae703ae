// lumotext._native.BM25Encoder: the encoder core over whole batches. Token
// lists are read in one pass as views of the items' bytes (str as UTF-8,
// bytes as they are) or as 64-bit ids; they are read while the interpreter
// lock is held and no Python code runs, so the views stay valid. The Python
// class lumotext.BM25Encoder checks arguments and documents the methods.
#include <Python.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "bindings/collector_pause.h"
#include "bindings/lumotext/registration.h"
#include "bindings/lumotext/sparse_output.h"
#include "bindings/string_token.h"
#include "common/block_pool.h"
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
  ByteArena utf8;  // the UTF-8 of str items that hold none
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

// Whether source is a buffer of a type written in C (a NumPy array, an
// array.array, a memoryview, a bytearray): its items and its memory are then
// what iterating it gives, and reading it runs no Python code. A subclass
// written in Python may iterate otherwise (a masked array, say).
bool IsNativeBuffer(PyObject* source) {
  return !(Py_TYPE(source)->tp_flags & Py_TPFLAGS_HEAPTYPE) && !PyBytes_Check(source) && !PyUnicode_Check(source) &&
         PyObject_CheckBuffer(source);
}

// Whether a buffer's struct format ("q", "<I", "B", ...) is one integer of
// native byte order; is_signed tells its kind.
bool IntegerFormat(const char* format, bool& is_signed) {
  static_assert(std::endian::native == std::endian::little, "'<' is read as the native order");
  if (format == nullptr) format = "B";  // no format: unsigned bytes
  if (*format == '@' || *format == '=' || *format == '<') ++format;
  if (format[0] == '\0' || format[1] != '\0') return false;
  const std::string_view kinds = "bhilqnBHILQN";
  const std::size_t kind = kinds.find(format[0]);
  if (kind == std::string_view::npos) return false;
  is_signed = kind < kinds.size() / 2;
  return true;
}

// Reads a one-dimensional native buffer of integers (a NumPy array of ids,
// say) into ids, or only checks that source is one when ids is null, without
// an object made per item. False, with nothing read, for anything else.
bool ReadIntegerBuffer(PyObject* source, std::vector<std::int64_t>* ids) {
  if (!IsNativeBuffer(source)) return false;
  Py_buffer view;
  if (PyObject_GetBuffer(source, &view, PyBUF_RECORDS_RO) != 0) {
    PyErr_Clear();
    return false;
  }
  const std::unique_ptr<Py_buffer, decltype(&PyBuffer_Release)> release(&view, PyBuffer_Release);
  bool is_signed = false;
  const Py_ssize_t width = view.itemsize;
  const bool integer_width = width == 1 || width == 2 || width == 4 || width == 8;
  if (view.ndim != 1 || !IntegerFormat(view.format, is_signed) || !integer_width) {
    return false;
  }
  if (ids == nullptr) return true;
  const auto size = static_cast<std::size_t>(view.shape[0]);
  ids->resize(size);
  const auto* base = static_cast<const char*>(view.buf);
  const auto read = [&]<typename Item>(Item) {
    for (std::size_t i = 0; i < size; ++i) {
      Item item;
      std::memcpy(&item, base + static_cast<Py_ssize_t>(i) * view.strides[0], sizeof item);
      if constexpr (std::is_same_v<Item, std::uint64_t>) {
        if (item > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
          throw py::value_error("integer token " + std::to_string(item) + " does not fit in 64 bits");
        }
      }
      (*ids)[i] = static_cast<std::int64_t>(item);
    }
  };
  switch (width * (is_signed ? 1 : -1)) {
    case 1: read(std::int8_t{}); break;
    case 2: read(std::int16_t{}); break;
    case 4: read(std::int32_t{}); break;
    case 8: read(std::int64_t{}); break;
    case -1: read(std::uint8_t{}); break;
    case -2: read(std::uint16_t{}); break;
    case -4: read(std::uint32_t{}); break;
    default: read(std::uint64_t{}); break;
  }
  return true;
}

// Reads a token sequence (a list or tuple, or any other sequence but str and
// bytes), writing the UTF-8 that str items do not hold into utf8. Raises
// TypeError for anything else, for items that are neither str, bytes nor
// int, and for lists that mix the two kinds.
void ReadTokens(PyObject* source, Py_ssize_t document, TokenList& list, ByteArena& utf8) {
  if (!PySequence_Check(source) || PyUnicode_Check(source) || PyBytes_Check(source)) {
    throw py::type_error("a token list must be a list of str or of int, not " + TypeName(source) + Where(document));
  }
  list.strings.clear();
  if (ReadIntegerBuffer(source, &list.ids)) {
    list.sequence = py::object();
    list.items = nullptr;  // the keys of a dict are new ints
    list.integer = !list.ids.empty();
    return;
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
  // Fresh str objects are usually not in cache yet, and one that is not ASCII
  // is read beyond its header: start loading a few items ahead.
  constexpr std::size_t kAhead = 8;
  for (std::size_t i = 0; i < size; ++i) {
    if (i + kAhead < size) __builtin_prefetch(list.items[i + kAhead]);
    PyObject* item = list.items[i];
    const bool ok = list.integer ? ReadIntegerToken(item, list.ids[i])
                                 : ReadStringToken(item, list.strings[i], Unencodable::kRaise, utf8);
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

// Reads a token sequence into list alone: views valid until its next read.
void ReadTokens(PyObject* source, Py_ssize_t document, TokenList& list) {
  list.utf8.Clear();
  ReadTokens(source, document, list, list.utf8);
}

// The key of each entry: the caller's own item where it is an exact str,
// bytes or int, else a new object of that exact type. Exact keys hash and
// compare without running Python code, so the items stay as they are.
PyObject* KeyOf(PyObject* item, std::int64_t token) {
  if (item != nullptr && PyLong_CheckExact(item)) return Py_NewRef(item);
  return PyLong_FromLongLong(token);
}
PyObject* KeyOf(PyObject* item, std::string_view token) {
  if (PyUnicode_CheckExact(item) || PyBytes_CheckExact(item)) return Py_NewRef(item);
  const auto size = static_cast<Py_ssize_t>(token.size());
  return PyUnicode_Check(item) ? PyUnicode_DecodeUTF8(token.data(), size, nullptr)
                               : PyBytes_FromStringAndSize(token.data(), size);
}

// hashes, when not null, are those of the keys in the order of weights.
template <typename Weights>
py::dict ToDict(const Weights& weights, PyObject* const* items, const Py_hash_t* hashes = nullptr) {
  // Items are null for a buffer of ids, whose keys are made.
  const auto item_of = [&](const auto& entry) -> PyObject* {
    return items != nullptr ? items[entry.first_position] : nullptr;
  };
  return WeightDict(weights, [&](const auto& entry) { return KeyOf(item_of(entry), entry.token); }, hashes, item_of);
}

// The hash of an exact str item, worked out from its characters alone so
// that a thread without the interpreter lock can compute it (the str's
// cached hash is not read: the lock's holder may be filling it in); -1 for
// other items, which the lock's holder hashes.
Py_hash_t KeyHash(PyObject* item) {
  if (!PyUnicode_CheckExact(item)) return -1;
  return _Py_HashBytes(PyUnicode_DATA(item), PyUnicode_GET_LENGTH(item) * PyUnicode_KIND(item));
}

// An estimate of the tokens of a batch: lists, tuples and native buffers by
// their sizes.
std::size_t CountTokens(PyObject* const* documents, Py_ssize_t count) {
  std::size_t tokens = 0;
  for (Py_ssize_t d = 0; d < count; ++d) {
    if (PyList_Check(documents[d]) || PyTuple_Check(documents[d])) {
      tokens += static_cast<std::size_t>(Py_SIZE(documents[d]));
    } else if (IsNativeBuffer(documents[d])) {
      const Py_ssize_t size = PyObject_Length(documents[d]);
      if (size > 0) tokens += static_cast<std::size_t>(size);
      PyErr_Clear();
    }
  }
  return tokens;
}

// A batch of at least this many tokens is weighed on several threads when
// asked to: fewer do not repay starting them.
constexpr std::size_t kThreadedTokens = std::size_t{1} << 15;
// Tokens of a chunk handed to the threads that weigh them: the calling
// thread turns the chunk before into vectors meanwhile, and takes the first
// chunk and emits the last alone, so smaller chunks keep the threads busier
// until a chunk's sync costs more than that (2^16 encoded to CSR faster
// than 2^14 and 2^18).
constexpr std::size_t kChunkTokens = std::size_t{1} << 16;
// Documents per unit of a weighing thread's work.
constexpr std::size_t kBlockDocuments = 32;

// Whether reading a document, and letting go of what reading it holds (the
// document itself), runs no Python code, so that views read before it stay
// valid and an encoder in use elsewhere is not touched: an exact list or
// tuple, without integer-like items other than int (whose __index__ reading
// would call), or a native buffer of integers.
bool ReadsWithoutPythonCode(PyObject* document) {
  if (!PyList_CheckExact(document) && !PyTuple_CheckExact(document)) return ReadIntegerBuffer(document, nullptr);
  PyObject* const* items = PySequence_Fast_ITEMS(document);
  const Py_ssize_t size = Py_SIZE(document);
  if (size == 0 || !IsIntegerToken(items[0])) return true;
  for (Py_ssize_t i = 0; i < size; ++i) {
    if (!PyLong_Check(items[i]) && IsIntegerToken(items[i])) return false;
  }
  return true;
}

// Documents taken on the calling thread for other threads to weigh: lists of
// ids as copies read here, other lists as their items, which the weighing
// threads read themselves (reading each token object once, where it is
// weighed, rather than here and again there); the items are the keys of
// dicts.
struct ReadDocuments {
  struct Document {
    PyObject* const* items;
    std::size_t begin;  // of its ids
    std::size_t size;
    bool integer;
  };
  std::vector<Document> documents;
  std::vector<std::int64_t> ids;
  std::size_t item_tokens = 0;  // of the documents read by their items

  std::size_t tokens() const { return item_tokens + ids.size(); }
  void Clear() {
    documents.clear();
    ids.clear();
    item_tokens = 0;
  }
  void AddIds(const TokenList& list) {
    documents.push_back({list.items, ids.size(), list.ids.size(), true});
    ids.insert(ids.end(), list.ids.begin(), list.ids.end());
  }
  void AddItems(PyObject* document) {
    const auto size = static_cast<std::size_t>(Py_SIZE(document));
    documents.push_back({PySequence_Fast_ITEMS(document), 0, size, false});
    item_tokens += size;
  }
};

// Whether a document that reads without Python code is read by its items on
// the weighing threads: an exact list or tuple whose first item is no
// integer (a later one that is not a string token sends the document back
// to the calling thread).
bool ReadsByItems(PyObject* document) {
  if (!PyList_CheckExact(document) && !PyTuple_CheckExact(document)) return false;
  return Py_SIZE(document) == 0 || !IsIntegerToken(PySequence_Fast_ITEMS(document)[0]);
}

// Documents' weights, before they become their vectors, back to back: keyed
// by index for the index outputs, by token for dicts. A weighing thread
// fills one for each block of documents, kept from chunk to chunk, so that
// neither it allocates per document nor the calling thread frees what it
// allocated.
struct WeightRoom {
  std::vector<IndexedWeight> indexed;
  typing::text::StringSparseVector strings;
  typing::text::IntegerSparseVector ids;
  std::vector<Py_hash_t> key_hashes;  // of the keys of strings, when the weighing thread read the items

  void Clear() {
    indexed.clear();
    strings.clear();
    ids.clear();
    key_hashes.clear();
  }
};

// Where one document's weights lie in their room.
struct Weighed {
  const WeightRoom* room = nullptr;
  std::size_t begin = 0;
  std::size_t size = 0;
  bool unread = false;  // an item the weighing thread could not read: the calling thread encodes it
};

// A weighing thread's room for reading documents by their items.
struct ItemTokens {
  std::vector<std::string_view> strings;
  ByteArena utf8;  // the UTF-8 of str items that hold none

  // False, with the document left to the calling thread, at an item that
  // ReadStringTokenWithoutLock does not read.
  bool Read(PyObject* const* items, std::size_t size) {
    strings.resize(size);
    utf8.Clear();
    for (std::size_t i = 0; i < size; ++i) {
      if (!ReadStringTokenWithoutLock(items[i], strings[i], utf8)) return false;
    }
    return true;
  }
};

// What a weighing thread works in for one block of documents, kept from
// chunk to chunk so that it allocates only when a block outgrows it.
struct BlockRoom {
  WeightRoom weights;
  typing::text::IndexScratch scratch;
  ItemTokens tokens;
};

// Encodes every token list of documents with encode (the document or the
// query encoder; encode_indexed gives the same vector keyed by index) into
// the requested output: a list of dicts, a list of {"indices", "values"}
// dicts, or the (indptr, indices, data) byte arrays of a CSR matrix (int64,
// int64, float64). With threads of 2 or more, a large batch is taken on the
// calling thread in chunks, whose tokens are read and weighed on that many
// threads and then turned into the output on the calling thread, with the
// result and the error (that of the first failing document) of one thread.
// The calling thread keeps the interpreter lock and the garbage collector is
// paused, so no Python code runs while the others read the token objects and
// views; a document whose reading could run Python code, or holds an item
// the other threads do not read, is read and encoded on the calling thread.
template <typename Encode, typename EncodeIndexed>
py::object EncodeBatch(const BM25Encoder& encoder, py::handle documents, Output output, int threads,
                       Encode encode, EncodeIndexed encode_indexed) {
  // A tuple: token reading may run Python code (__index__), which must not
  // change the sequence under the item pointers.
  py::object held = py::reinterpret_steal<py::object>(PySequence_Tuple(documents.ptr()));
  if (!held) throw py::error_already_set();
  const Py_ssize_t count = PySequence_Fast_GET_SIZE(held.ptr());
  PyObject** items = PySequence_Fast_ITEMS(held.ptr());
  const std::size_t tokens = CountTokens(items, count);
  py::list vectors(output == Output::kCsr ? 0 : count);
  std::optional<CsrRows> rows;
  if (output == Output::kCsr) rows.emplace(static_cast<std::size_t>(count), tokens);
  // Weighs tokens (ids or texts) into room, on any thread: keyed by token
  // for a dict, else by index.
  const auto weigh = [&](auto tokens, WeightRoom& room, typing::text::IndexScratch& scratch) {
    const auto append = [&room](auto& to, const auto& weights) {
      const Weighed placed{&room, to.size(), weights.size()};
      to.insert(to.end(), weights.begin(), weights.end());
      return placed;
    };
    if (output != Output::kDict) return append(room.indexed, encode_indexed(encoder, tokens, scratch));
    if constexpr (std::is_same_v<decltype(tokens), std::span<const std::int64_t>>) {
      return append(room.ids, encode(encoder, tokens));
    } else {
      return append(room.strings, encode(encoder, tokens));
    }
  };
  // Document d's vector from its weights; a dict's keys come from its items.
  const auto emit = [&](Py_ssize_t d, const Weighed& weighed, bool integer, PyObject* const* keys) {
    const WeightRoom& room = *weighed.room;
    const auto part = [&](const auto& all) { return std::span(all).subspan(weighed.begin, weighed.size); };
    if (output == Output::kCsr) {
      rows->Append(part(room.indexed));
      return;
    }
    const bool hashed = !integer && room.key_hashes.size() == room.strings.size();
    py::object vector = output == Output::kSparse ? ToSparse(part(room.indexed))
                        : integer                 ? ToDict(part(room.ids), keys)
                                                  : ToDict(part(room.strings), keys,
                                                           hashed ? room.key_hashes.data() + weighed.begin : nullptr);
    PyList_SET_ITEM(vectors.ptr(), d, vector.release().ptr());
  };
  typing::text::IndexScratch index_scratch;
  TokenList list;
  WeightRoom single;
  // Reads, weighs and emits document d on this thread alone.
  const auto encode_one = [&](Py_ssize_t d) {
    ReadTokens(items[d], d, list);
    single.Clear();
    const Weighed weighed = list.integer ? weigh(std::span<const std::int64_t>(list.ids), single, index_scratch)
                                         : weigh(std::span<const std::string_view>(list.strings), single, index_scratch);
    emit(d, weighed, list.integer, list.items);
  };
  const auto take = [&]() -> py::object {
    if (output != Output::kCsr) return vectors;
    return rows->Take();
  };
  if (threads < 2 || tokens < kThreadedTokens) {
    for (Py_ssize_t d = 0; d < count; ++d) encode_one(d);
    return take();
  }

  // Chunks of documents, read on this thread and weighed on the pool: while
  // the pool weighs one, this thread turns the one before into vectors and
  // reads the next.
  struct Chunk {
    Py_ssize_t first = 0;  // index of its first document
    ReadDocuments read;
    std::vector<Weighed> weighed;
    std::vector<BlockRoom> rooms;            // per block
    std::vector<std::exception_ptr> errors;  // per block
    std::vector<std::size_t> failed;         // per block: the document of its error
  };
  const CollectorPause pause;
  Chunk chunks[2];
  BlockPool pool(static_cast<std::size_t>(threads) - 1);  // after chunks: stops before they go
  std::exception_ptr read_error;
  // Reads documents from d on until the chunk is full, a document fails to
  // read (read_error) or one could run Python code while read.
  const auto read_chunk = [&](Chunk& chunk, Py_ssize_t& d) {
    chunk.first = d;
    chunk.read.Clear();
    while (d < count && chunk.read.tokens() < kChunkTokens && ReadsWithoutPythonCode(items[d])) {
      if (ReadsByItems(items[d])) {
        chunk.read.AddItems(items[d++]);
        continue;
      }
      try {
        ReadTokens(items[d], d, list);
      } catch (...) {
        read_error = std::current_exception();
        return;
      }
      if (!list.integer) break;  // a buffer of no ids: encoded alone
      chunk.read.AddIds(list);
      ++d;
    }
  };
  const auto start_weighing = [&](Chunk& chunk) {
    const std::size_t documents = chunk.read.documents.size();
    chunk.weighed.assign(documents, Weighed());
    const std::size_t blocks = (documents + kBlockDocuments - 1) / kBlockDocuments;
    if (chunk.rooms.size() < blocks) chunk.rooms.resize(blocks);
    chunk.errors.assign(blocks, nullptr);
    chunk.failed.assign(blocks, 0);
    pool.Start(blocks, [&chunk, &weigh, documents](std::size_t block) {
      BlockRoom& block_room = chunk.rooms[block];
      typing::text::IndexScratch& scratch = block_room.scratch;
      ItemTokens& tokens = block_room.tokens;
      WeightRoom& room = block_room.weights;
      room.Clear();
      std::size_t i = block * kBlockDocuments;
      try {
        for (; i < std::min(documents, (block + 1) * kBlockDocuments); ++i) {
          const ReadDocuments::Document& document = chunk.read.documents[i];
          if (document.integer) {
            chunk.weighed[i] =
                weigh(std::span<const std::int64_t>(chunk.read.ids).subspan(document.begin, document.size), room,
                      scratch);
          } else if (tokens.Read(document.items, document.size)) {
            chunk.weighed[i] = weigh(std::span<const std::string_view>(tokens.strings), room, scratch);
            for (std::size_t k = room.key_hashes.size(); k < room.strings.size(); ++k) {
              room.key_hashes.push_back(KeyHash(document.items[room.strings[k].first_position]));
            }
          } else {
            chunk.weighed[i].unread = true;
          }
        }
      } catch (...) {  // the block's first failure: its later documents are not weighed
        chunk.errors[block] = std::current_exception();
        chunk.failed[block] = i;
      }
    });
  };
  // In document order, so that the error raised is the first document's.
  const auto emit_chunk = [&](const Chunk& chunk) {
    for (std::size_t i = 0; i < chunk.read.documents.size(); ++i) {
      const std::size_t block = i / kBlockDocuments;
      if (chunk.errors[block] && chunk.failed[block] == i) std::rethrow_exception(chunk.errors[block]);
      const Py_ssize_t d = chunk.first + static_cast<Py_ssize_t>(i);
      if (chunk.weighed[i].unread) {
        encode_one(d);
        continue;
      }
      const ReadDocuments::Document& document = chunk.read.documents[i];
      emit(d, chunk.weighed[i], document.integer, document.items);
    }
  };
  Chunk* weighing = nullptr;  // the chunk on the pool
  for (Py_ssize_t d = 0;;) {
    Chunk& next = weighing == &chunks[0] ? chunks[1] : chunks[0];
    const bool reading = !read_error && d < count;
    if (reading) read_chunk(next, d);
    pool.Finish();
    const bool next_weighs = reading && !next.read.documents.empty();
    if (next_weighs) start_weighing(next);
    if (weighing != nullptr) emit_chunk(*weighing);
    weighing = next_weighs ? &next : nullptr;
    if (weighing != nullptr) continue;
    // Nothing on the pool, and every document before d is in the output.
    if (read_error) std::rethrow_exception(read_error);
    if (d == count) break;
    encode_one(d++);  // reading it could run Python code
  }
  return take();
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
  if (threads < 2 || CountTokens(items, count) < kTwoThreadTokens) {
    for (Py_ssize_t d = 0; d < count; ++d) TrainOne(encoder, items[d], first_index + d, list);
    return;
  }
  typing::text::BatchTrainer trainer(encoder);
  const CollectorPause pause;
  std::exception_ptr read_error;
  try {
    for (Py_ssize_t d = 0; d < count; ++d) {
      const bool plain = ReadsWithoutPythonCode(items[d]);
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
  ByteArena utf8;
  if (ReadStringToken(token.ptr(), text, Unencodable::kRaise, utf8)) return std::string(text);
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
           [=](const BM25Encoder& encoder, py::handle documents, int output, int threads) {
             return EncodeBatch(encoder, documents, ToOutput(output), threads, encode_document,
                                encode_document_indexed);
           })
      .def("encode_queries",
           [=](const BM25Encoder& encoder, py::handle queries, int output, int threads) {
             return EncodeBatch(encoder, queries, ToOutput(output), threads, encode_query, encode_query_indexed);
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
