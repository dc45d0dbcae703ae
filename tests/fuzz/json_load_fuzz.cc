// The JSON parser on arbitrary text, then BM25 load of the same text: the
// parser either returns a value or throws one of its four number errors, and
// a load that fails leaves the model exactly as it was. The same bytes also
// make a model (b, k1 and byte tokens of any value): its dump loads back into
// a model that dumps the same text, or, for a b or k1 that is not finite, the
// dump fails and writes nothing.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "bm25/bm25.h"
#include "fuzz/fuzz_support.h"
#include "json/json_value.h"

namespace {

using lumo::fuzz::Fail;
using lumo::typing::text::BM25;
using lumo::typing::text::JsonValue;

bool IsNumberError(const std::exception& error) {
  const char* message = error.what();
  return std::strcmp(message, "invalid stol argument") == 0 || std::strcmp(message, "stol argument out of range") == 0 ||
         std::strcmp(message, "invalid stod argument") == 0 || std::strcmp(message, "stod argument out of range") == 0;
}

bool IsLoadError(const std::exception& error) {
  for (const char* message : {"json data should not be empty", "load doc_token_frequency failed", "load doc_count failed",
                              "load doc_length_average failed", "load b failed", "load k1 failed"}) {
    if (std::strcmp(error.what(), message) == 0) return true;
  }
  return false;
}

// What a load may change, in a form that compares exactly.
struct ModelState {
  std::int32_t doc_count;
  std::int64_t doc_length_total;
  double doc_length_average;
  double b;
  double k1;
  std::size_t distinct_tokens;
  std::int32_t frequency_a;
  bool operator==(const ModelState&) const = default;
};

ModelState StateOf(const BM25& model) {
  return {model.doc_count(), model.doc_length_total(), model.doc_length_average(), model.b(), model.k1(),
          model.distinct_token_count(), model.token_frequency("a").value_or(-1)};
}

void CheckParse(std::string_view text) {
  try {
    const JsonValue value = JsonValue::Parse(text);
    // The serializer takes any value; its text parses again without a crash.
    const std::string written = value.Serialize(1, "  ");
    try {
      JsonValue::Parse(written);
    } catch (const std::invalid_argument& error) {
      if (!IsNumberError(error)) Fail("unexpected invalid_argument on reparse");
    } catch (const std::out_of_range& error) {
      if (!IsNumberError(error)) Fail("unexpected out_of_range on reparse");
    }
  } catch (const std::invalid_argument& error) {
    if (!IsNumberError(error)) Fail("unexpected invalid_argument");
  } catch (const std::out_of_range& error) {
    if (!IsNumberError(error)) Fail("unexpected out_of_range");
  }
}

void CheckLoad(std::string_view text) {
  BM25 model(0.75, 1.2);
  const std::vector<std::string_view> first = {"a", "b", "a"};
  const std::vector<std::string_view> second = {"b", "c"};
  model.train(first);
  model.train(second);
  const ModelState before = StateOf(model);
  try {
    model.load(text);
    return;
  } catch (const std::invalid_argument& error) {
    if (!IsNumberError(error)) Fail("load: unexpected invalid_argument");
  } catch (const std::out_of_range& error) {
    if (!IsNumberError(error)) Fail("load: unexpected out_of_range");
  } catch (const std::runtime_error& error) {
    if (!IsLoadError(error)) Fail("load: unexpected runtime_error");
  }
  if (!(StateOf(model) == before)) Fail("a failed load changed the model");
}

// A directory of this process for the dumped files, in memory where the
// system offers it: dump syncs its file, which is slow on a disk. The names
// live in plain arrays, so that the exit handler that removes them never
// reads a destroyed object.
char dump_directory[] = "/dev/shm/lumo-json-fuzz-XXXXXX";
char dump_path[sizeof dump_directory + 16] = "";

const char* DumpPath() {
  if (dump_path[0] == '\0') {
    if (::mkdtemp(dump_directory) == nullptr) {
      std::strcpy(dump_directory, "/tmp/lumo-json-fuzz-XXXXXX");
      if (::mkdtemp(dump_directory) == nullptr) Fail("mkdtemp");
    }
    std::snprintf(dump_path, sizeof dump_path, "%s/model.json", dump_directory);
    std::atexit([] {
      std::remove(dump_path);
      std::remove(dump_directory);
    });
  }
  return dump_path;
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

void CheckDumpRoundTrip(std::string_view bytes) {
  if (bytes.size() < 16) return;
  double b = 0.0;
  double k1 = 0.0;
  std::memcpy(&b, bytes.data(), sizeof b);
  std::memcpy(&k1, bytes.data() + 8, sizeof k1);
  // Tokens: a length byte (0 to 31), then that many bytes.
  std::vector<std::string_view> tokens;
  for (std::size_t at = 16; at < bytes.size();) {
    const std::size_t length = std::min<std::size_t>(static_cast<std::uint8_t>(bytes[at]) % 32, bytes.size() - at - 1);
    tokens.push_back(bytes.substr(at + 1, length));
    at += 1 + length;
  }
  BM25 model(b, k1);
  model.train(tokens);
  const std::string path = DumpPath();
  std::remove(path.c_str());
  try {
    model.dump(path);
  } catch (const std::runtime_error& error) {
    if (std::isfinite(b) && std::isfinite(k1)) Fail("dump of a finite model failed");
    if (std::strncmp(error.what(), "Failed to dump: ", 16) != 0) Fail("dump failed with another message");
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
      std::fclose(file);
      Fail("a failed dump wrote a file");
    }
    return;
  }
  if (!std::isfinite(b) || !std::isfinite(k1)) Fail("a model that is not finite was dumped");
  const std::string first = ReadFile(path);
  BM25 restored(0.0, 0.0);
  restored.load(first);
  for (const std::string_view token : tokens) {
    if (restored.token_frequency(token) != model.token_frequency(token)) Fail("a token count changed");
  }
  restored.dump(path);
  if (ReadFile(path) != first) Fail("dump, load and dump again gave another text");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckParse(text);
  CheckLoad(text);
  CheckDumpRoundTrip(text);
  return 0;
}
