// JsonValue::Serialize: the fixed text layout of this library.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>

#include "json/json_value.h"

namespace lumo::typing::text {
namespace {

void AppendInteger(std::string& out, std::int32_t number) {
  char digits[16];
  const auto result = std::to_chars(digits, digits + sizeof(digits), number);
  out.append(digits, result.ptr);
}

// Exactly what "%f" gives: to_chars in fixed notation with six decimals
// prints the same digits for finite values; the rare infinity and NaN go
// through snprintf itself so that their spelling is the platform's.
void AppendFloat(std::string& out, double number) {
  char digits[400];  // the largest double has 309 integer digits
  if (std::isfinite(number)) {
    const auto result =
        std::to_chars(digits, digits + sizeof(digits), number, std::chars_format::fixed, 6);
    out.append(digits, result.ptr);
    return;
  }
  const int length = std::snprintf(digits, sizeof(digits), "%f", number);
  if (length > 0) out.append(digits, static_cast<std::size_t>(length));
}

}  // namespace

std::string JsonValue::Serialize(std::int32_t depth, std::string indent) const {
  std::string out;
  out.reserve(64);
  SerializeInto(out, depth, indent);
  return out;
}

void JsonValue::SerializeInto(std::string& out, std::int32_t depth, std::string_view indent) const {
  // depth + 1 for nested values, computed wide so that the largest depth
  // does not overflow; the pad is empty for any depth below 1.
  const std::int32_t child_depth = depth == INT32_MAX ? depth : depth + 1;
  switch (kind_) {
    case JsonKind::Null: out.append("null"); break;
    case JsonKind::Bool: out.append(payload_.flag ? "true" : "false"); break;
    case JsonKind::Integer: AppendInteger(out, payload_.integer); break;
    case JsonKind::Float: AppendFloat(out, payload_.number); break;
    case JsonKind::String:
      out.push_back('"');
      AppendEscapedText(out, *payload_.text);
      out.push_back('"');
      break;
    case JsonKind::Array: {
      out.push_back('[');
      bool first = true;
      for (const JsonValue& element : *payload_.array) {
        if (!first) out.append(", ");
        first = false;
        element.SerializeInto(out, child_depth, indent);
      }
      out.push_back(']');
      break;
    }
    case JsonKind::Object: {
      std::string pad;
      for (std::int32_t i = 0; i < depth; ++i) pad.append(indent);
      out.append("{\n");
      bool first = true;
      for (const auto& [key, value] : *payload_.object) {
        if (!first) out.append(",\n");
        first = false;
        out.append(pad);
        out.push_back('"');
        out.append(key);
        out.append("\" : ");
        value.SerializeInto(out, child_depth, indent);
      }
      out.push_back('\n');
      // The closing brace stands two bytes left of the members, whatever the
      // length of the indent unit.
      out.append(std::string_view(pad).substr(pad.size() < 2 ? pad.size() : 2));
      out.push_back('}');
      break;
    }
  }
}

}  // namespace lumo::typing::text
