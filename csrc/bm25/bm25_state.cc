// The model's exact state as bytes, for pickling.
#include <limits>
#include <stdexcept>
#include <string>

#include "bm25/bm25.h"
#include "bm25/table_state.h"

namespace lumo::typing::text {

namespace {

// Leads every state, so that a later layout can still read this one.
constexpr std::uint8_t kStateVersion = 1;

[[noreturn]] void ThrowMalformed() { throw std::invalid_argument("malformed BM25 state"); }

}  // namespace

void AppendTableState(std::string& out, const TokenFrequencyTable& table, std::uint32_t counter) {
  AppendStateValue<std::uint64_t>(out, counter == TokenFrequencyTable::kOccurrences ? table.size() : table.document_size());
  table.ForEachCounter(counter, [&out](std::string_view text, std::int32_t count) {
    AppendStateValue<std::uint32_t>(out, static_cast<std::uint32_t>(text.size()));
    out.append(text);
    AppendStateValue<std::int32_t>(out, count);
  });
}

void ReadTableState(std::string_view& state, TokenFrequencyTable& table, std::uint32_t counter) {
  const auto entries = ReadStateValue<std::uint64_t>(state);
  // Each entry takes at least eight bytes: a bound before any allocation.
  if (entries > state.size() / 8) ThrowMalformed();
  table.ReserveAdditional(entries);
  for (std::uint64_t i = 0; i < entries; ++i) {
    const auto length = ReadStateValue<std::uint32_t>(state);
    if (length > state.size()) ThrowMalformed();
    const std::string_view text = state.substr(0, length);
    state.remove_prefix(length);
    table.SetCounter(text, counter, ReadStateValue<std::int32_t>(state));
  }
}

std::string BM25::SaveState() const {
  std::string out;
  out.reserve(64 + _doc_token_frequency.size() * 16);
  AppendStateValue(out, kStateVersion);
  AppendStateValue(out, _b);
  AppendStateValue(out, _k1);
  AppendStateValue(out, _doc_count);
  AppendStateValue(out, _doc_length_total);
  AppendStateValue(out, _doc_length_average);
  AppendTableState(out, _doc_token_frequency, TokenFrequencyTable::kOccurrences);
  return out;
}

BM25 BM25::FromState(std::string_view state) {
  if (ReadStateValue<std::uint8_t>(state) != kStateVersion) ThrowMalformed();
  BM25 model(0.0, 0.0);
  model._b = ReadStateValue<double>(state);
  model._k1 = ReadStateValue<double>(state);
  model._doc_count = ReadStateValue<std::int32_t>(state);
  model._doc_length_total = ReadStateValue<std::int64_t>(state);
  model._doc_length_average = ReadStateValue<double>(state);
  if (model._doc_count < 0 || model._doc_length_total < 0) ThrowMalformed();
  ReadTableState(state, model._doc_token_frequency, TokenFrequencyTable::kOccurrences);
  if (!state.empty()) ThrowMalformed();
  return model;
}

}  // namespace lumo::typing::text
