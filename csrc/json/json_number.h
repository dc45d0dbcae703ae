// The decimal conversions of the JSON parser's number reader.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lumo::typing::text {

// The longest prefix of `text` of the form [-]digits as a 32-bit integer.
// Throws std::invalid_argument("invalid stol argument") when there is no such
// prefix and std::out_of_range("stol argument out of range") when the value
// lies outside -2147483648..2147483647. `text` holds only "-", "." and digits.
std::int32_t ConvertInt32Prefix(std::string_view text);

// The longest decimal prefix of `text` as a double, as the C library's
// strtod reads it in the "C" locale. Throws std::invalid_argument("invalid
// stod argument") when there is none and std::out_of_range("stod argument out
// of range") when strtod reports a range error (overflow, or underflow where
// it reports one).
double ConvertDoublePrefix(const std::string& text);

}  // namespace lumo::typing::text
