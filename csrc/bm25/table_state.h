// Binary form of a token table, shared by the model's and the encoder's
// pickled states: an entry count, then per entry the text length, the text
// and the count, all little-endian.
#pragma once

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

#include "bm25/token_frequency_table.h"

namespace lumo::typing::text {

// Appends the bytes of value to out.
template <typename Value>
void AppendStateValue(std::string& out, Value value) {
  out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// Reads a value from the front of state and advances it; throws
// std::invalid_argument "malformed BM25 state" when state is too short.
template <typename Value>
Value ReadStateValue(std::string_view& state) {
  if (state.size() < sizeof(Value)) throw std::invalid_argument("malformed BM25 state");
  Value value;
  std::memcpy(&value, state.data(), sizeof value);
  state.remove_prefix(sizeof value);
  return value;
}

// Appends the entries of the table that hold counter (one of
// TokenFrequencyTable::kOccurrences and kDocuments) with that counter.
void AppendTableState(std::string& out, const TokenFrequencyTable& table, std::uint32_t counter);

// Sets counter of the entries read from the front of state into table and
// advances state past them.
void ReadTableState(std::string_view& state, TokenFrequencyTable& table, std::uint32_t counter);

}  // namespace lumo::typing::text
