#include "json/json_value.h"

#include <utility>

namespace lumo::typing::text {

JsonValue JsonValue::OfKind(JsonKind kind) {
  JsonValue value;
  value.SetKind(kind);
  return value;
}

JsonValue::JsonValue(const JsonValue& other) : kind_(JsonKind::Null) {
  switch (other.kind_) {
    case JsonKind::Object: payload_.object = new ObjectMap(*other.payload_.object); break;
    case JsonKind::Array: payload_.array = new ArrayList(*other.payload_.array); break;
    case JsonKind::String: payload_.text = new std::string(*other.payload_.text); break;
    default: payload_ = other.payload_; break;
  }
  kind_ = other.kind_;  // set last: a throwing copy leaves this a valid Null
}

JsonValue::JsonValue(JsonValue&& other) noexcept : payload_(other.payload_), kind_(other.kind_) {
  other.payload_.object = nullptr;
  other.kind_ = JsonKind::Null;
}

JsonValue& JsonValue::operator=(const JsonValue& other) {
  if (this != &other) {
    JsonValue copy(other);  // copy first: the target stays intact if it throws
    *this = std::move(copy);
  }
  return *this;
}

JsonValue& JsonValue::operator=(JsonValue&& other) noexcept {
  if (this != &other) {
    // Take the payload before releasing: `other` may live inside this tree.
    const Payload taken = other.payload_;
    const JsonKind taken_kind = other.kind_;
    other.payload_.object = nullptr;
    other.kind_ = JsonKind::Null;
    Release();
    payload_ = taken;
    kind_ = taken_kind;
  }
  return *this;
}

JsonValue::~JsonValue() { Release(); }

void JsonValue::Release() noexcept {
  switch (kind_) {
    case JsonKind::Object: delete payload_.object; break;
    case JsonKind::Array: delete payload_.array; break;
    case JsonKind::String: delete payload_.text; break;
    default: break;
  }
  payload_.object = nullptr;
  kind_ = JsonKind::Null;
}

void JsonValue::SetKind(JsonKind kind) {
  if (kind == kind_) return;
  Payload fresh{.object = nullptr};
  switch (kind) {
    case JsonKind::Object: fresh.object = new ObjectMap(); break;
    case JsonKind::Array: fresh.array = new ArrayList(); break;
    case JsonKind::String: fresh.text = new std::string(); break;
    case JsonKind::Float: fresh.number = 0.0; break;
    case JsonKind::Integer: fresh.integer = 0; break;
    case JsonKind::Bool: fresh.flag = false; break;
    default: break;  // Null, and any value outside the enumeration, hold nothing
  }
  Release();
  payload_ = fresh;
  kind_ = kind;
}

JsonValue& JsonValue::operator=(double number) {
  SetKind(JsonKind::Float);
  payload_.number = number;
  return *this;
}

JsonValue& JsonValue::operator=(std::int32_t number) {
  SetKind(JsonKind::Integer);
  payload_.integer = number;
  return *this;
}

JsonValue& JsonValue::operator=(bool flag) {
  SetKind(JsonKind::Bool);
  payload_.flag = flag;
  return *this;
}

JsonValue& JsonValue::operator=(std::string_view text) {
  if (kind_ == JsonKind::String) {
    payload_.text->assign(text.data(), text.size());  // safe when text views the old content
  } else {
    std::string* fresh = new std::string(text);
    Release();
    payload_.text = fresh;
    kind_ = JsonKind::String;
  }
  return *this;
}

JsonValue& JsonValue::operator=(std::string&& text) {
  if (kind_ == JsonKind::String) {
    *payload_.text = std::move(text);
  } else {
    std::string* fresh = new std::string(std::move(text));
    Release();
    payload_.text = fresh;
    kind_ = JsonKind::String;
  }
  return *this;
}

JsonValue& JsonValue::Member(std::string_view key) {
  SetKind(JsonKind::Object);
  ObjectMap& map = *payload_.object;
  // Keys usually arrive in ascending order (parsed text that this library
  // wrote), so try the end first: the insertion is then amortised O(1).
  if (map.empty() || map.rbegin()->first < key) {
    return map.emplace_hint(map.end(), key, JsonValue())->second;
  }
  const auto found = map.lower_bound(key);
  if (found != map.end() && found->first == key) return found->second;
  return map.emplace_hint(found, key, JsonValue())->second;
}

JsonValue& JsonValue::Element(std::uint32_t index) {
  SetKind(JsonKind::Array);
  ArrayList& list = *payload_.array;
  if (index >= list.size()) list.resize(static_cast<std::size_t>(index) + 1);
  return list[index];
}

const JsonValue::ObjectMap& JsonValue::Items() const noexcept {
  static const ObjectMap kNoItems;
  return kind_ == JsonKind::Object ? *payload_.object : kNoItems;
}

const JsonValue* JsonValue::Find(std::string_view key) const noexcept {
  if (kind_ != JsonKind::Object) return nullptr;
  const auto found = payload_.object->find(key);
  return found == payload_.object->end() ? nullptr : &found->second;
}

const JsonValue* JsonValue::At(std::size_t index) const noexcept {
  if (kind_ != JsonKind::Array || index >= payload_.array->size()) return nullptr;
  return &(*payload_.array)[index];
}

std::size_t JsonValue::Size() const noexcept {
  switch (kind_) {
    case JsonKind::Object: return payload_.object->size();
    case JsonKind::Array: return payload_.array->size();
    default: return 0;
  }
}

std::int32_t JsonValue::AsInteger(bool& ok) const noexcept {
  ok = kind_ == JsonKind::Integer;
  return ok ? payload_.integer : 0;
}

double JsonValue::AsFloat(bool& ok) const noexcept {
  ok = kind_ == JsonKind::Float;
  return ok ? payload_.number : 0.0;
}

bool JsonValue::AsBool(bool& ok) const noexcept {
  ok = kind_ == JsonKind::Bool;
  return ok ? payload_.flag : false;
}

std::string_view JsonValue::AsString(bool& ok) const noexcept {
  ok = kind_ == JsonKind::String;
  return ok ? std::string_view(*payload_.text) : std::string_view();
}

std::string JsonValue::KeyText() const {
  return kind_ == JsonKind::String ? EscapeText(*payload_.text) : std::string();
}

}  // namespace lumo::typing::text
