#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "json/json_value.h"

namespace lumo::typing::text {
namespace {

JsonValue Float(double number) {
  JsonValue value;
  value = number;
  return value;
}

JsonValue Integer(std::int32_t number) {
  JsonValue value;
  value = number;
  return value;
}

std::string PrintfF(double number) {
  char text[512];
  std::snprintf(text, sizeof(text), "%f", number);
  return text;
}

TEST(SerializeLayout, TheTenLineExample) {
  JsonValue value;
  value.Member("a") = 1;
  JsonValue& list = value.Member("b");
  list.Element(0) = true;
  list.Element(1) = 2.5;
  list.Element(2) = "x\ny";
  value.Member("c").Member("d");
  value.Member("e").SetKind(JsonKind::Object);
  EXPECT_EQ(value.Serialize(1, "  "),
            "{\n"
            "  \"a\" : 1,\n"
            "  \"b\" : [true, 2.500000, \"x\\ny\"],\n"
            "  \"c\" : {\n"
            "    \"d\" : null\n"
            "  },\n"
            "  \"e\" : {\n"
            "\n"
            "  }\n"
            "}");
}

struct LayoutCase {
  std::string name;
  std::int32_t depth;
  std::string indent;
  std::string expected;
};

class SerializeObjectTest : public ::testing::TestWithParam<LayoutCase> {};

// The object {"k": {"m": 1}, "z": []} at various depths and indents.
TEST_P(SerializeObjectTest, PadsMembersAndClosingBrace) {
  const LayoutCase& c = GetParam();
  JsonValue value;
  value.Member("k").Member("m") = 1;
  value.Member("z").SetKind(JsonKind::Array);
  EXPECT_EQ(value.Serialize(c.depth, c.indent), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, SerializeObjectTest,
    ::testing::Values(
        LayoutCase{"DepthOneTwoSpaces", 1, "  ", "{\n  \"k\" : {\n    \"m\" : 1\n  },\n  \"z\" : []\n}"},
        LayoutCase{"FourSpaceIndent", 1, "    ",
                   "{\n    \"k\" : {\n        \"m\" : 1\n      },\n    \"z\" : []\n  }"},
        LayoutCase{"DepthZero", 0, "  ", "{\n\"k\" : {\n  \"m\" : 1\n},\n\"z\" : []\n}"},
        LayoutCase{"NegativeDepth", -3, "  ", "{\n\"k\" : {\n\"m\" : 1\n},\n\"z\" : []\n}"},
        LayoutCase{"OneByteIndent", 2, "\t", "{\n\t\t\"k\" : {\n\t\t\t\"m\" : 1\n\t},\n\t\t\"z\" : []\n}"},
        LayoutCase{"EmptyIndent", 3, "", "{\n\"k\" : {\n\"m\" : 1\n},\n\"z\" : []\n}"}),
    [](const auto& info) { return info.param.name; });

TEST(SerializeLayout, EmptyObjects) {
  const JsonValue empty = JsonValue::OfKind(JsonKind::Object);
  EXPECT_EQ(empty.Serialize(1, "  "), "{\n\n}");
  EXPECT_EQ(empty.Serialize(2, "  "), "{\n\n  }");
  EXPECT_EQ(empty.Serialize(0, "  "), "{\n\n}");
}

TEST(SerializeLayout, ObjectInsideArrayIsOneLevelDeeper) {
  JsonValue value;
  value.Element(0).Member("a") = 1;
  value.Element(1) = JsonValue::OfKind(JsonKind::Array);
  EXPECT_EQ(value.Serialize(1, "  "), "[{\n    \"a\" : 1\n  }, []]");
}

TEST(SerializeLayout, KeysRawStringsEscaped) {
  JsonValue value;
  value.Member("q\"k\\") = "v\"\\\b\f\n\r\t/\x01\x7f\xe4\xb8\xad";
  EXPECT_EQ(value.Serialize(1, "  "),
            "{\n  \"q\"k\\\" : \"v\\\"\\\\\\b\\f\\n\\r\\t/\x01\x7f\xe4\xb8\xad\"\n}");
}

struct ScalarCase {
  std::string name;
  JsonValue value;
  std::string expected;
};

class SerializeScalarTest : public ::testing::TestWithParam<ScalarCase> {};

TEST_P(SerializeScalarTest, WritesTheExactText) {
  EXPECT_EQ(GetParam().value.Serialize(1, "  "), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Scalars, SerializeScalarTest,
    ::testing::Values(ScalarCase{"Null", JsonValue(), "null"},
                      ScalarCase{"Zero", Integer(0), "0"},
                      ScalarCase{"Negative", Integer(-42), "-42"},
                      ScalarCase{"SmallestInteger", Integer(INT32_MIN), "-2147483648"},
                      ScalarCase{"LargestInteger", Integer(INT32_MAX), "2147483647"},
                      ScalarCase{"B", Float(0.75), "0.750000"},
                      ScalarCase{"K1", Float(1.2), "1.200000"},
                      ScalarCase{"Two", Float(2.0), "2.000000"},
                      ScalarCase{"TenToTheTwenty", Float(1e20), "100000000000000000000.000000"},
                      ScalarCase{"TenToTheMinusSeven", Float(0.0000001), "0.000000"},
                      ScalarCase{"FourTenMillionths", Float(0.0000004), "0.000000"},
                      ScalarCase{"NegativeZero", Float(-0.0), "-0.000000"},
                      ScalarCase{"RoundsHalfway", Float(0.0000005), PrintfF(0.0000005)},
                      ScalarCase{"Infinity", Float(HUGE_VAL), PrintfF(HUGE_VAL)},
                      ScalarCase{"NaN", Float(std::numeric_limits<double>::quiet_NaN()),
                                 PrintfF(std::numeric_limits<double>::quiet_NaN())}),
    [](const auto& info) { return info.param.name; });

// to_chars in fixed notation must print exactly what "%f" prints.
TEST(SerializeFloat, MatchesPrintfOverManyMagnitudes) {
  std::uint64_t state = 0x9E3779B97F4A7C15ull;
  for (int i = 0; i < 20000; ++i) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    const double mantissa = static_cast<double>(state % 1000000007) / 1000.0;
    const double number = (i % 2 ? -mantissa : mantissa) * std::pow(10.0, static_cast<int>(state % 60) - 30);
    ASSERT_EQ(Float(number).Serialize(0, ""), PrintfF(number)) << number;
  }
  for (double number : {std::numeric_limits<double>::max(), std::numeric_limits<double>::min(),
                        std::numeric_limits<double>::denorm_min(), 2.5e-6, 1.5e-6, 0.1 + 0.2}) {
    EXPECT_EQ(Float(number).Serialize(0, ""), PrintfF(number));
  }
}

TEST(SerializeRoundTrip, ParseReadsBackWhatSerializeWrote) {
  JsonValue value;
  value.Member("_doc_token_frequency").Member("a") = 2;
  value.Member("_doc_token_frequency").Member("\xe4\xb8\xad") = 7;
  value.Member("_b") = 0.75;
  value.Member("list").Element(0) = "s\"\\\n";
  value.Member("list").Element(1) = -2.5;
  value.Member("list").Element(2) = false;
  const std::string text = value.Serialize(1, "  ");
  EXPECT_EQ(JsonValue::Parse(text).Serialize(1, "  "), text);
}

}  // namespace
}  // namespace lumo::typing::text
