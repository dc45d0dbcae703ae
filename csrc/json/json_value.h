// JsonValue: one JSON value of any kind, owning its whole subtree.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <type_traits>

#include "json/json_escape.h"

namespace lumo::typing::text {

enum class JsonKind : std::int32_t { Null = 0, Object, Array, String, Float, Integer, Bool };

class JsonParser;

// A kind tag plus one 8-byte payload slot. Object, Array and String own their
// map, queue or string through the slot; the scalars live in it. Copies are
// deep, moves leave the source Null, and no value is ever shared.
class JsonValue {
 public:
  // Keys compare bytewise as unsigned bytes (std::string's char_traits<char>
  // compares with memcmp), a key that is a prefix of another coming first.
  // std::less<> makes lookups by string_view allocation-free.
  using ObjectMap = std::map<std::string, JsonValue, std::less<>>;
  using ArrayList = std::deque<JsonValue>;

  JsonValue() noexcept = default;
  // A value of the given kind holding that kind's empty value.
  static JsonValue OfKind(JsonKind kind);

  JsonValue(const JsonValue& other);
  JsonValue(JsonValue&& other) noexcept;
  JsonValue& operator=(const JsonValue& other);
  JsonValue& operator=(JsonValue&& other) noexcept;
  ~JsonValue();

  // Each assignment first turns the value into the matching kind (releasing
  // any other content), then stores the scalar or copies the text in.
  JsonValue& operator=(double number);
  JsonValue& operator=(std::int32_t number);
  JsonValue& operator=(bool flag);
  JsonValue& operator=(std::string_view text);
  JsonValue& operator=(const std::string& text) { return *this = std::string_view(text); }
  JsonValue& operator=(std::string&& text);
  JsonValue& operator=(const char* text) { return *this = std::string_view(text); }

  JsonKind Kind() const noexcept { return kind_; }
  // Does nothing when the kind is already `kind`; otherwise releases the
  // content and holds the empty value of `kind` (0, 0.0, false, empty text,
  // empty map or queue).
  void SetKind(JsonKind kind);

  // Mutable access by key. A value of another kind first becomes an empty
  // Object; a missing key is inserted holding Null at its ordered place.
  JsonValue& Member(std::string_view key);
  // Mutable access by index. A value of another kind first becomes an empty
  // Array; Null elements are appended until the index exists.
  JsonValue& Element(std::uint32_t index);

  // The (key, value) entries of an Object in key order; for any other kind an
  // empty map. Never converts the value.
  const ObjectMap& Items() const noexcept;
  // Read-only lookups that never convert or insert: the member for `key` or
  // the element at `index`, or null when the value is not an Object / Array
  // or holds no such entry.
  const JsonValue* Find(std::string_view key) const noexcept;
  const JsonValue* At(std::size_t index) const noexcept;
  // Number of entries of an Object or elements of an Array; 0 for other kinds.
  std::size_t Size() const noexcept;

  // The payload when the kind matches (ok true); otherwise 0, 0.0, false or
  // the empty text with ok false. No kind is converted into another: an
  // Integer is not a Float and a Float is not an Integer.
  std::int32_t AsInteger(bool& ok) const noexcept;
  double AsFloat(bool& ok) const noexcept;
  bool AsBool(bool& ok) const noexcept;
  // The view stays valid while the value is neither changed nor released.
  std::string_view AsString(bool& ok) const noexcept;

  // For a String, its text escaped as EscapeText does (the form in which the
  // parser stores object keys); the empty text for any other kind.
  std::string KeyText() const;

  // The fixed-layout text: objects over lines indented by `indent` repeated
  // `depth` times, arrays on one line, floats as "%f", keys written exactly
  // as stored. No line feed after the value. Never fails.
  std::string Serialize(std::int32_t depth, std::string indent) const;

  // Reads one value from the start of `text`; the rest is ignored. Syntax
  // errors write one diagnostic line each to standard error and yield
  // substitute values; nesting deeper than kMaxNesting writes one line and
  // yields Null. Throws std::invalid_argument / std::out_of_range when a
  // number does not convert ("invalid stol argument", "stol argument out of
  // range", "invalid stod argument", "stod argument out of range").
  static JsonValue Parse(std::string_view text);

  // Deepest nesting of objects and arrays that Parse accepts.
  static constexpr std::uint32_t kMaxNesting = 512;

 private:
  friend class JsonParser;

  void Release() noexcept;
  void SerializeInto(std::string& out, std::int32_t depth, std::string_view indent) const;

  union Payload {
    ObjectMap* object;
    ArrayList* array;
    std::string* text;
    double number;
    std::int32_t integer;
    bool flag;
  };

  Payload payload_{.object = nullptr};
  JsonKind kind_ = JsonKind::Null;
};

static_assert(std::is_nothrow_move_constructible_v<JsonValue>);
static_assert(std::is_nothrow_move_assignable_v<JsonValue>);
static_assert(sizeof(JsonValue) == 16);

}  // namespace lumo::typing::text
