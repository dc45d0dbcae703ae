#include "json/json_number.h"

#include <locale.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace lumo::typing::text {
namespace {

// The "C" locale, so that the decimal point is "." whatever the process's
// LC_NUMERIC. Created once and never freed; it holds no state.
locale_t NumericLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

}  // namespace

std::int32_t ConvertInt32Prefix(std::string_view text) {
  std::size_t position = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) position = 1;
  const std::size_t digits_start = position;
  // Accumulated as a magnitude; once past 2^31 more digits cannot bring it back.
  constexpr std::int64_t kLimit = std::int64_t{1} << 31;
  std::int64_t magnitude = 0;
  while (position < text.size() && text[position] >= '0' && text[position] <= '9') {
    if (magnitude <= kLimit) magnitude = magnitude * 10 + (text[position] - '0');
    ++position;
  }
  if (position == digits_start) throw std::invalid_argument("invalid stol argument");
  if (magnitude > (negative ? kLimit : kLimit - 1)) {
    throw std::out_of_range("stol argument out of range");
  }
  return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

double ConvertDoublePrefix(const std::string& text) {
  const char* begin = text.c_str();
  char* end = nullptr;
  const int saved_errno = errno;
  errno = 0;
  const locale_t locale = NumericLocale();
  const double value = locale ? strtod_l(begin, &end, locale) : std::strtod(begin, &end);
  const bool range_error = errno == ERANGE;
  errno = saved_errno;
  if (end == begin) throw std::invalid_argument("invalid stod argument");
  if (range_error) throw std::out_of_range("stod argument out of range");
  return value;
}

}  // namespace lumo::typing::text
