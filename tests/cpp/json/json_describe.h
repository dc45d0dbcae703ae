// A compact, kind-exact rendering of a JsonValue for test expectations:
// null, true, 7 (Integer), 2.5f (Float, shortest round-trip digits),
// "text" (raw bytes), [a,b], {"key":value}.
#pragma once

#include <charconv>
#include <string>

#include "json/json_value.h"

namespace lumo::testing {

inline std::string Describe(const typing::text::JsonValue& value) {
  using typing::text::JsonKind;
  bool ok = false;
  switch (value.Kind()) {
    case JsonKind::Null: return "null";
    case JsonKind::Bool: return value.AsBool(ok) ? "true" : "false";
    case JsonKind::Integer: return std::to_string(value.AsInteger(ok));
    case JsonKind::Float: {
      char digits[64];
      const auto end = std::to_chars(digits, digits + sizeof(digits), value.AsFloat(ok)).ptr;
      return std::string(digits, end) + "f";
    }
    case JsonKind::String: {
      std::string out(1, '"');
      out.append(value.AsString(ok)).push_back('"');
      return out;
    }
    case JsonKind::Array: {
      std::string out = "[";
      for (std::size_t i = 0; i < value.Size(); ++i) {
        if (i > 0) out += ",";
        out += Describe(*value.At(i));
      }
      return out + "]";
    }
    case JsonKind::Object: {
      std::string out = "{";
      bool first = true;
      for (const auto& [key, member] : value.Items()) {
        if (!first) out += ",";
        first = false;
        out.append(1, '"').append(key).append("\":").append(Describe(member));
      }
      return out + "}";
    }
  }
  return "?";
}

}  // namespace lumo::testing
