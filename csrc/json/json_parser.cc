// JsonValue::Parse: a forgiving recursive-descent reader. A syntax error
// writes one diagnostic line and yields a substitute value, and the caller
// goes on; only the number conversions throw.
#include <cmath>
#include <cstdint>
#include <string>
#include <utility>

#include "common/utf8.h"
#include "json/json_diagnostic.h"
#include "json/json_number.h"
#include "json/json_value.h"

namespace lumo::typing::text {

class JsonParser {
 public:
  explicit JsonParser(std::string_view text) : text_(text) {}
  JsonParser(const JsonParser&) = delete;
  JsonParser& operator=(const JsonParser&) = delete;

  JsonValue ReadDocument() {
    JsonValue value = ReadValue();
    return too_deep_ ? JsonValue() : std::move(value);
  }

 private:
  // The byte at `position`; the end of the text reads as NUL, which no
  // reader expects, so running out of text is an ordinary syntax error.
  char At(std::size_t position) const { return position < text_.size() ? text_[position] : '\0'; }
  char Current() const { return At(position_); }
  // Steps one byte forward, never beyond the end of the text.
  void Advance() {
    if (position_ < text_.size()) ++position_;
  }
  static bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
  static bool IsHexDigit(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
  }
  // The value of the four hex digits at `position` (checked by the caller).
  std::uint32_t HexValue(std::size_t position) const {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
      const char c = text_[position + i];
      value = value * 16 + static_cast<std::uint32_t>(IsDigit(c) ? c - '0' : (c | 0x20) - 'a' + 10);
    }
    return value;
  }
  static bool IsSurrogate(std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }
  // Whether a backslash, "u" and the four hex digits of a low surrogate
  // (DC00 to DFFF) stand at `position`.
  bool IsLowSurrogateEscape(std::size_t position) const {
    if (At(position) != '\\' || At(position + 1) != 'u') return false;
    for (std::size_t i = 2; i < 6; ++i) {
      if (!IsHexDigit(At(position + i))) return false;
    }
    const std::uint32_t unit = HexValue(position + 2);
    return unit >= 0xDC00 && unit <= 0xDFFF;
  }
  // What may follow a number: white space, ",", "]" or "}".
  static bool IsNumberEnd(char c) { return IsSpace(c) || c == ',' || c == ']' || c == '}'; }
  void SkipSpace() {
    while (position_ < text_.size() && IsSpace(text_[position_])) ++position_;
  }
  void Diagnose(std::string_view message, char found) { WriteJsonDiagnostic(message, std::string_view(&found, 1)); }

  JsonValue ReadValue();
  JsonValue ReadObject();
  JsonValue ReadArray();
  JsonValue ReadString();
  bool ReadStringText(std::string& buffer);
  JsonValue ReadNumber();
  JsonValue ReadBool();
  JsonValue ReadNull();
  // Enters one more level of objects or arrays; false (after the one
  // diagnostic of the whole parse) when that would pass kMaxNesting.
  bool EnterNesting();

  std::string_view text_;
  std::size_t position_ = 0;
  std::uint32_t depth_ = 0;
  // Set once the nesting limit is hit: every reader then returns at once
  // and the whole parse yields Null.
  bool too_deep_ = false;
};

JsonValue JsonValue::Parse(std::string_view text) { return JsonParser(text).ReadDocument(); }

bool JsonParser::EnterNesting() {
  if (depth_ < JsonValue::kMaxNesting) {
    ++depth_;
    return true;
  }
  too_deep_ = true;
  WriteJsonDiagnostic("ERROR: Parse: Nesting deeper than 512 levels at position " + std::to_string(position_) +
                          ", found '",
                      text_.substr(position_, 1));
  return false;
}

JsonValue JsonParser::ReadValue() {
  SkipSpace();
  const char c = Current();
  switch (c) {
    case '"': return ReadString();
    case '-': case '0': case '1': case '2': case '3': case '4':
    case '5': case '6': case '7': case '8': case '9':
      return ReadNumber();
    case 't': case 'f': return ReadBool();
    case 'n': return ReadNull();
    case '[':
    case '{': {
      if (!EnterNesting()) return JsonValue();
      JsonValue value = c == '[' ? ReadArray() : ReadObject();
      --depth_;
      return value;
    }
    default:
      Diagnose("ERROR: Parse: Unknown starting character '", c);
      return JsonValue();
  }
}

JsonValue JsonParser::ReadObject() {
  Advance();  // the "{"
  SkipSpace();
  JsonValue object = JsonValue::OfKind(JsonKind::Object);
  if (Current() == '}') {
    Advance();
    return object;
  }
  JsonValue::ObjectMap& entries = *object.payload_.object;
  while (true) {
    // The key is stored as KeyText of whatever value stands there: a string
    // in escaped form, any other kind as the empty key. A string key is read
    // straight into its text, without a String value around it.
    std::string key;
    SkipSpace();
    if (Current() == '"') {
      if (ReadStringText(key) && HasEscapableByte(key)) key = EscapeText(key);
    } else {
      key = ReadValue().KeyText();
      if (too_deep_) return JsonValue();
    }
    SkipSpace();
    if (Current() != ':') {
      Diagnose("Error: Object: Expected colon, found '", Current());
      return object;
    }
    Advance();
    JsonValue value = ReadValue();
    if (too_deep_) return JsonValue();
    // Text that this library wrote has its keys in ascending order: trying
    // the end first makes each insertion amortised O(1).
    if (entries.empty() || entries.rbegin()->first < key) {
      entries.emplace_hint(entries.end(), std::move(key), std::move(value));
    } else {
      entries.insert_or_assign(std::move(key), std::move(value));  // a repeated key replaces
    }
    SkipSpace();
    const char next = Current();
    if (next == ',') {
      Advance();
      continue;
    }
    if (next == '}') {
      Advance();
      return object;
    }
    Diagnose("ERROR: Object: Expected comma, found '", next);
    return object;
  }
}

JsonValue JsonParser::ReadArray() {
  Advance();  // the "["
  SkipSpace();
  JsonValue array = JsonValue::OfKind(JsonKind::Array);
  if (Current() == ']') {
    Advance();
    return array;
  }
  JsonValue::ArrayList& elements = *array.payload_.array;
  while (true) {
    elements.push_back(ReadValue());
    if (too_deep_) return JsonValue();
    SkipSpace();
    const char next = Current();
    if (next == ',') {
      Advance();
      continue;
    }
    if (next == ']') {
      Advance();
      return array;
    }
    Diagnose("ERROR: Array: Expected ',' or ']', found '", next);
    return JsonValue::OfKind(JsonKind::Array);  // the elements read so far are dropped
  }
}

JsonValue JsonParser::ReadString() {
  std::string text;
  if (!ReadStringText(text)) return JsonValue::OfKind(JsonKind::String);
  JsonValue value;
  value = std::move(text);
  return value;
}

// Decodes the string at the position into `buffer`. False, with the buffer
// empty, after a bad unicode escape (the position then stays on the "u").
// A string that the text ends inside of ends there, with one diagnostic.
bool JsonParser::ReadStringText(std::string& buffer) {
  Advance();  // the opening quote
  buffer.clear();
  const std::size_t length = text_.size();
  while (true) {
    std::size_t run_end = position_;
    while (run_end < length && text_[run_end] != '"' && text_[run_end] != '\\') ++run_end;
    buffer.append(text_.data() + position_, run_end - position_);
    position_ = run_end;
    if (position_ < length && text_[position_] == '"') {
      ++position_;
      return true;
    }
    if (position_ + 1 >= length) {  // no closing quote, or a backslash as the last byte
      position_ = length;
      Diagnose("ERROR: String: Expected closing quote, found '", '\0');
      return true;
    }
    ++position_;  // the backslash
    const char escape = text_[position_];
    switch (escape) {
      case '"': buffer.push_back('"'); break;
      case '/': buffer.push_back('/'); break;
      case 'b': buffer.push_back('\b'); break;
      case 'f': buffer.push_back('\f'); break;
      case 'n': buffer.push_back('\n'); break;
      case 'r': buffer.push_back('\r'); break;
      case 't': buffer.push_back('\t'); break;
      case 'u': {
        for (std::size_t i = 1; i <= 4; ++i) {
          const char digit = At(position_ + i);
          if (!IsHexDigit(digit)) {
            Diagnose("ERROR: String: Expected hex character in unicode escape, found '", digit);
            buffer.clear();
            return false;
          }
        }
        // Decoded into the UTF-8 of its code point; a high surrogate escape
        // directly followed by a low one stands for one supplementary code
        // point. A lone surrogate has no UTF-8 and stays as its six bytes.
        const std::uint32_t unit = HexValue(position_ + 1);
        if (!IsSurrogate(unit)) {
          lumo::AppendUtf8(buffer, unit);
        } else if (unit < 0xDC00 && IsLowSurrogateEscape(position_ + 5)) {
          lumo::AppendUtf8(buffer, 0x10000 + ((unit - 0xD800) << 10) + (HexValue(position_ + 7) - 0xDC00));
          position_ += 6;
        } else {
          buffer.append(text_.data() + position_ - 1, 6);
        }
        position_ += 4;
        break;
      }
      default: buffer.push_back('\\'); break;  // the escape byte itself is dropped
    }
    ++position_;
  }
}

JsonValue JsonParser::ReadNumber() {
  // Mantissa: "-", digits and "." up to the first other byte, which is
  // stepped past. Its bytes are contiguous in the text, so it is a view.
  const std::size_t mantissa_start = position_;
  std::size_t mantissa_end = position_;
  bool has_point = false;
  char ending;
  while (true) {
    mantissa_end = position_;
    ending = Current();
    Advance();
    if (ending == '.') {
      has_point = true;
    } else if (ending != '-' && !IsDigit(ending)) {
      break;
    }
  }
  const std::string_view mantissa = text_.substr(mantissa_start, mantissa_end - mantissa_start);

  std::int32_t exponent = 0;
  const bool has_exponent = ending == 'e' || ending == 'E';
  if (has_exponent) {
    // The exponent text is an optional "-" (a "+" is skipped) and digits.
    const std::size_t sign_position = position_;
    const char sign = Current();
    if (sign == '-' || sign == '+') Advance();
    const std::size_t digits_start = position_;
    std::size_t digits_end = position_;
    char exponent_ending;
    do {
      digits_end = position_;
      exponent_ending = Current();
      Advance();
    } while (IsDigit(exponent_ending));
    if (!IsNumberEnd(exponent_ending)) {
      Diagnose("ERROR: Number: Expected a number for exponent, found '", exponent_ending);
      return JsonValue();
    }
    const std::size_t text_start = sign == '-' ? sign_position : digits_start;
    exponent = ConvertInt32Prefix(text_.substr(text_start, digits_end - text_start));
  } else if (!IsNumberEnd(ending)) {
    Diagnose("ERROR: Number: unexpected character '", ending);
    return JsonValue();
  }
  --position_;  // leave the ending byte (white space, ",", "]" or "}") to the caller

  JsonValue value;
  if (has_point) {
    const double base = ConvertDoublePrefix(std::string(mantissa));
    value = base * std::pow(10.0, static_cast<double>(exponent));
  } else if (has_exponent) {
    const double base = static_cast<double>(ConvertInt32Prefix(mantissa));
    value = base * std::pow(10.0, static_cast<double>(exponent));
  } else {
    value = ConvertInt32Prefix(mantissa);
  }
  return value;
}

JsonValue JsonParser::ReadBool() {
  if (text_.substr(position_, 4) == "true") {
    position_ += 4;
    JsonValue value;
    value = true;
    return value;
  }
  if (text_.substr(position_, 5) == "false") {
    position_ += 5;
    JsonValue value;
    value = false;
    return value;
  }
  WriteJsonDiagnostic("ERROR: Bool: Expected 'true' or 'false', found '", text_.substr(position_, 5));
  return JsonValue();
}

JsonValue JsonParser::ReadNull() {
  if (text_.substr(position_, 4) == "null") {
    position_ += 4;
  } else {
    WriteJsonDiagnostic("ERROR: Null: Expected 'null', found '", text_.substr(position_, 4));
  }
  return JsonValue();
}

}  // namespace lumo::typing::text
