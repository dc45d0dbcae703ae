// The model document: dump writes it, load reads it back.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "bm25/bm25.h"
#include "common/file_replacer.h"
#include "json/json_escape.h"
#include "json/json_value.h"

namespace lumo::typing::text {

namespace {

constexpr std::string_view kTokenFrequencyKey = "_doc_token_frequency";

std::int32_t ReadInteger(const JsonValue& document, std::string_view key, const char* failure) {
  bool ok = false;
  const JsonValue* member = document.Find(key);
  const std::int32_t value = member ? member->AsInteger(ok) : 0;
  if (!ok) throw std::runtime_error(failure);
  return value;
}

double ReadFloat(const JsonValue& document, std::string_view key, const char* failure) {
  bool ok = false;
  const JsonValue* member = document.Find(key);
  const double value = member ? member->AsFloat(ok) : 0.0;
  if (!ok) throw std::runtime_error(failure);
  return value;
}

// The total length that reproduces the loaded average over the loaded count,
// so that training after a load keeps a true average. 0 when the product is
// not a finite, non-negative number that fits in 64 bits.
std::int64_t LoadedLengthTotal(double average, std::int32_t count) {
  const double product = average * static_cast<double>(count);
  if (!std::isfinite(product) || product < 0.0 || product >= 9223372036854775808.0) return 0;
  return std::llround(product);
}

}  // namespace

std::string_view BM25::TokenOfKey(const std::string& key, std::string& scratch) {
  if (std::memchr(key.data(), '\\', key.size()) == nullptr) return key;
  scratch = UnescapeText(key);
  return scratch;
}

void BM25::load(std::string_view json_text) {
  if (json_text.empty()) throw std::runtime_error("json data should not be empty");
  // Number errors leave the parser as std::invalid_argument / out_of_range.
  const JsonValue document = JsonValue::Parse(json_text);

  // Validate every member, in the order of the checks, before changing
  // anything.
  const JsonValue* table = document.Find(kTokenFrequencyKey);
  const bool has_table = table != nullptr && table->Kind() == JsonKind::Object;
  if (has_table) {
    for (const auto& [key, value] : table->Items()) {
      if (value.Kind() != JsonKind::Integer) throw std::runtime_error("load doc_token_frequency failed");
    }
  }
  const std::int32_t doc_count = ReadInteger(document, "_doc_count", "load doc_count failed");
  const double average = ReadFloat(document, "_doc_length_average", "load doc_length_average failed");
  const double b = ReadFloat(document, "_b", "load b failed");
  const double k1 = ReadFloat(document, "_k1", "load k1 failed");

  if (has_table) {
    // Room first: only this allocation can fail, and it changes no entry.
    _doc_token_frequency.ReserveAdditional(table->Size());
    std::string scratch;
    for (const auto& [key, value] : table->Items()) {
      bool ok = false;
      _doc_token_frequency.Set(TokenOfKey(key, scratch), value.AsInteger(ok));
    }
  }
  _doc_count = doc_count;
  _doc_length_average = average;
  _doc_length_total = LoadedLengthTotal(average, doc_count);
  _b = b;
  _k1 = k1;
}

void BM25::FillTokenTable(JsonValue& object, const TokenFrequencyTable& table, std::uint32_t counter) {
  // Keys escaped so that standard JSON readers accept them, in the bytewise
  // order the object keeps them in, so that each insertion lands at the end
  // of the map.
  std::vector<std::pair<std::string, std::int32_t>> entries;
  entries.reserve(counter == TokenFrequencyTable::kOccurrences ? table.size() : table.document_size());
  table.ForEachCounter(counter, [&entries](std::string_view token, std::int32_t count) {
    entries.emplace_back(EscapeTextForJson(token), count);
  });
  std::sort(entries.begin(), entries.end());
  object.SetKind(JsonKind::Object);
  for (auto& [key, count] : entries) object.Member(key) = count;
}

JsonValue BM25::Document() const {
  // JSON has no spelling for infinity or not-a-number, and the model could
  // not be read back from such a document.
  if (!std::isfinite(_b) || !std::isfinite(_k1) || !std::isfinite(_doc_length_average)) {
    throw std::runtime_error("Failed to dump: b, k1 and the average document length must be finite");
  }
  JsonValue document = JsonValue::OfKind(JsonKind::Object);
  FillTokenTable(document.Member(kTokenFrequencyKey), _doc_token_frequency, TokenFrequencyTable::kOccurrences);
  document.Member("_doc_count") = _doc_count;
  document.Member("_doc_length_average") = _doc_length_average;
  document.Member("_b") = _b;
  document.Member("_k1") = _k1;
  return document;
}

void BM25::WriteDocument(const std::string& path, const JsonValue& document) {
  switch (ReplaceFileContents(path, document.Serialize(1, "  "))) {
    case ReplaceFileResult::kReplaced:
      return;
    case ReplaceFileResult::kOpenFailed:
      throw std::runtime_error("Failed to dump: Unable to open file");
    case ReplaceFileResult::kWriteFailed:
      throw std::runtime_error("Failed to dump: Unable to write file");
  }
}

void BM25::dump(const std::string& path) const { WriteDocument(path, Document()); }

}  // namespace lumo::typing::text
