// The JSON parser on arbitrary text, then BM25 load of the same text: the
// parser either returns a value or throws one of its four number errors, and
// a load that fails leaves the model exactly as it was.
#include <cstddef>
#include <cstdint>
#include <cstring>
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckParse(text);
  CheckLoad(text);
  return 0;
}
