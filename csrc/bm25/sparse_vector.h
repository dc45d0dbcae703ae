// Sparse vectors returned by the encoders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace lumo::typing::text {

// One distinct token of the encoded list and its weight. first_position is
// the index of the token's first occurrence in that list, so a caller can
// reuse its own object for the key.
struct StringTokenWeight {
  std::string_view token;  // points into the caller's token list
  std::size_t first_position;
  double weight;
};

struct IntegerTokenWeight {
  std::int64_t token;
  std::size_t first_position;
  double weight;
};

// One entry per distinct input token, in ascending key order: bytewise
// (unsigned bytes, a proper prefix first) for strings, numeric for integers.
using StringSparseVector = std::vector<StringTokenWeight>;
using IntegerSparseVector = std::vector<IntegerTokenWeight>;

// Puts the entries of a vector (StringTokenWeight or IntegerTokenWeight) in
// ascending key order.
template <typename Weight>
void SortByToken(std::vector<Weight>& weights);

}  // namespace lumo::typing::text
