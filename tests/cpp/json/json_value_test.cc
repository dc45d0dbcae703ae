#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "json/json_describe.h"
#include "json/json_value.h"

namespace lumo::typing::text {
namespace {

using lumo::testing::Describe;

TEST(JsonValueKinds, EnumeratorValuesAreFixed) {
  EXPECT_EQ(static_cast<int>(JsonKind::Null), 0);
  EXPECT_EQ(static_cast<int>(JsonKind::Object), 1);
  EXPECT_EQ(static_cast<int>(JsonKind::Array), 2);
  EXPECT_EQ(static_cast<int>(JsonKind::String), 3);
  EXPECT_EQ(static_cast<int>(JsonKind::Float), 4);
  EXPECT_EQ(static_cast<int>(JsonKind::Integer), 5);
  EXPECT_EQ(static_cast<int>(JsonKind::Bool), 6);
  EXPECT_EQ(JsonValue().Kind(), JsonKind::Null);
}

class EmptyValueTest : public ::testing::TestWithParam<std::pair<JsonKind, std::string>> {};

// OfKind and SetKind from Null both give the kind's empty value.
TEST_P(EmptyValueTest, OfKindAndSetKindGiveTheEmptyValue) {
  const auto& [kind, described] = GetParam();
  EXPECT_EQ(Describe(JsonValue::OfKind(kind)), described);
  JsonValue value;
  if (kind == JsonKind::String) {
    value = 9;
  } else {
    value = std::string("previous content");
  }
  value.SetKind(kind);
  EXPECT_EQ(value.Kind(), kind);
  EXPECT_EQ(Describe(value), described);
}

INSTANTIATE_TEST_SUITE_P(AllKinds, EmptyValueTest,
                         ::testing::Values(std::pair{JsonKind::Null, "null"}, std::pair{JsonKind::Object, "{}"},
                                           std::pair{JsonKind::Array, "[]"}, std::pair{JsonKind::Float, "0f"},
                                           std::pair{JsonKind::Integer, "0"}, std::pair{JsonKind::Bool, "false"},
                                           std::pair{JsonKind::String, "\"\""}));

TEST(JsonValueAccess, MemberConvertsAnotherKindToObject) {
  JsonValue value;
  value = 7;
  JsonValue& member = value.Member("x");
  EXPECT_EQ(member.Kind(), JsonKind::Null);
  EXPECT_EQ(Describe(value), "{\"x\":null}");
}

TEST(JsonValueAccess, MemberKeepsKeysOrderedWhateverTheInsertionOrder) {
  JsonValue value = JsonValue::OfKind(JsonKind::Object);
  value.Member("b");
  value.Member("a");
  value.Member("ab") = 1;
  value.Member("a") = 2;  // existing key: no new entry
  EXPECT_EQ(Describe(value), "{\"a\":2,\"ab\":1,\"b\":null}");
}

// std::string compares its chars as unsigned bytes (char_traits<char> is
// memcmp), so bytes >= 0x80 sort after ASCII and a prefix sorts first.
TEST(JsonValueAccess, KeysCompareAsUnsignedBytes) {
  JsonValue value;
  for (const char* key : {"\xff", "\x80z", "\x7f", "a", "", "\x80", "\x01"}) value.Member(key) = 0;
  std::string order;
  for (const auto& [key, member] : value.Items()) order += "<" + key + ">";
  EXPECT_EQ(order, "<><\x01><a><\x7f><\x80><\x80z><\xff>");
  EXPECT_LT(std::string("a"), std::string("\x80"));
}

TEST(JsonValueAccess, ElementAppendsNullsUpToTheIndex) {
  JsonValue value = JsonValue::OfKind(JsonKind::Array);
  value.Element(3) = true;
  EXPECT_EQ(Describe(value), "[null,null,null,true]");
  value.Element(1) = 5;
  EXPECT_EQ(Describe(value), "[null,5,null,true]");
  JsonValue text;
  text = "abc";
  text.Element(0) = 1;
  EXPECT_EQ(Describe(text), "[1]");
}

TEST(JsonValueAccess, ReadOnlyLookupsNeverConvert) {
  JsonValue value;
  value = 3;
  EXPECT_EQ(value.Find("a"), nullptr);
  EXPECT_EQ(value.At(0), nullptr);
  EXPECT_TRUE(value.Items().empty());
  EXPECT_EQ(value.Size(), 0u);
  EXPECT_EQ(value.Kind(), JsonKind::Integer);

  JsonValue object;
  object.Member("k") = 1.5;
  ASSERT_NE(object.Find("k"), nullptr);
  EXPECT_EQ(Describe(*object.Find("k")), "1.5f");
  EXPECT_EQ(object.Find("missing"), nullptr);
  EXPECT_EQ(object.Size(), 1u);
}

TEST(JsonValueAccess, ReadersDoNotConvertKinds) {
  JsonValue integer;
  integer = 2;
  JsonValue real;
  real = 2.0;
  JsonValue text;
  text = "2";
  bool ok = true;
  EXPECT_EQ(integer.AsFloat(ok), 0.0);
  EXPECT_FALSE(ok);
  EXPECT_EQ(real.AsInteger(ok), 0);
  EXPECT_FALSE(ok);
  EXPECT_EQ(text.AsInteger(ok), 0);
  EXPECT_FALSE(ok);
  EXPECT_EQ(integer.AsBool(ok), false);
  EXPECT_FALSE(ok);
  EXPECT_EQ(integer.AsString(ok), "");
  EXPECT_FALSE(ok);
  EXPECT_EQ(integer.AsInteger(ok), 2);
  EXPECT_TRUE(ok);
  EXPECT_EQ(real.AsFloat(ok), 2.0);
  EXPECT_TRUE(ok);
  EXPECT_EQ(text.AsString(ok), "2");
  EXPECT_TRUE(ok);
}

TEST(JsonValueAccess, KeyTextEscapesStringsOnly) {
  JsonValue text;
  text = "a\"b";
  EXPECT_EQ(text.KeyText(), "a\\\"b");
  text = std::string("\b\t\n\f\r\\/\x01", 8);
  EXPECT_EQ(text.KeyText(), std::string("\\b\\t\\n\\f\\r\\\\/\x01", 14));
  JsonValue integer;
  integer = 12;
  EXPECT_EQ(integer.KeyText(), "");
}

TEST(JsonValueAccess, SetKindToTheSameKindKeepsContent) {
  JsonValue value;
  value.Member("a") = 1;
  value.SetKind(JsonKind::Object);
  EXPECT_EQ(Describe(value), "{\"a\":1}");
  value = 4.5;
  value.SetKind(JsonKind::Float);
  EXPECT_EQ(Describe(value), "4.5f");
}

TEST(JsonValueAssign, AssignmentsReplaceOtherKinds) {
  JsonValue value;
  value = "text";
  value = 2.5;
  EXPECT_EQ(Describe(value), "2.5f");
  value = -3;
  EXPECT_EQ(Describe(value), "-3");
  value = true;
  EXPECT_EQ(Describe(value), "true");
  value = std::string_view("view");
  EXPECT_EQ(Describe(value), "\"view\"");
  std::string moved = "moved text that is longer than the small-string buffer";
  value = std::move(moved);
  EXPECT_EQ(Describe(value), "\"moved text that is longer than the small-string buffer\"");
  value.Member("o") = "x";
  value = std::string("again");
  EXPECT_EQ(Describe(value), "\"again\"");
}

TEST(JsonValueAssign, StringAssignedFromItsOwnText) {
  JsonValue value;
  value = "abcdefghijklmnopqrstuvwxyz";
  bool ok = false;
  value = value.AsString(ok).substr(3, 4);
  EXPECT_EQ(Describe(value), "\"defg\"");
}

JsonValue SampleTree() {
  JsonValue value;
  value.Member("list").Element(1) = "x";
  value.Member("list").Element(2).Member("inner") = 1;
  value.Member("n") = 1.25;
  return value;
}

TEST(JsonValueCopy, CopyIsDeep) {
  const JsonValue original = SampleTree();
  const std::string before = Describe(original);
  JsonValue copy = original;
  copy.Member("list").Element(2).Member("inner") = 99;
  copy.Member("list").Element(1) = false;
  copy.Member("added") = 0;
  EXPECT_EQ(Describe(original), before);
  EXPECT_EQ(Describe(copy), "{\"added\":0,\"list\":[null,false,{\"inner\":99}],\"n\":1.25f}");

  JsonValue assigned;
  assigned = "old";
  assigned = original;
  EXPECT_EQ(Describe(assigned), before);
  const JsonValue& same = assigned;
  assigned = same;  // self-assignment keeps the value
  EXPECT_EQ(Describe(assigned), before);
}

TEST(JsonValueCopy, MoveLeavesSourceNull) {
  JsonValue source = SampleTree();
  const std::string before = Describe(source);
  JsonValue target(std::move(source));
  EXPECT_EQ(source.Kind(), JsonKind::Null);
  EXPECT_EQ(Describe(target), before);

  JsonValue other;
  other = 5;
  other = std::move(target);
  EXPECT_EQ(target.Kind(), JsonKind::Null);
  EXPECT_EQ(Describe(other), before);
}

TEST(JsonValueCopy, AssigningAChildToItsParent) {
  JsonValue value = SampleTree();
  value = value.Member("list");  // copy of a child
  EXPECT_EQ(Describe(value), "[null,\"x\",{\"inner\":1}]");
  value = std::move(value.Element(2));  // move of a child
  EXPECT_EQ(Describe(value), "{\"inner\":1}");
}

}  // namespace
}  // namespace lumo::typing::text
