#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>

#include "json/json_describe.h"
#include "support/stderr_capture.h"
#include "json/json_value.h"

namespace lumo::typing::text {
namespace {

using namespace std::string_literals;
using lumo::testing::Describe;
using lumo::testing::StderrCapture;

struct ParseCase {
  std::string name;
  std::string text;
  std::string expected;     // Describe() of the result
  std::string diagnostics;  // exact bytes written to standard error
};

const std::string kUnknown = "ERROR: Parse: Unknown starting character '";
const std::string kColon = "Error: Object: Expected colon, found '";
const std::string kComma = "ERROR: Object: Expected comma, found '";
const std::string kArray = "ERROR: Array: Expected ',' or ']', found '";
const std::string kHex = "ERROR: String: Expected hex character in unicode escape, found '";
const std::string kQuote = "ERROR: String: Expected closing quote, found '";
const std::string kNumber = "ERROR: Number: unexpected character '";
const std::string kExponent = "ERROR: Number: Expected a number for exponent, found '";
const std::string kBool = "ERROR: Bool: Expected 'true' or 'false', found '";
const std::string kNull = "ERROR: Null: Expected 'null', found '";
const std::string kNulFound = "\0'\n"s;

class ParseTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseTest, YieldsValueAndDiagnostics) {
  const ParseCase& c = GetParam();
  StderrCapture capture;
  const JsonValue value = JsonValue::Parse(c.text);
  const std::string diagnostics = capture.Finish();
  EXPECT_EQ(Describe(value), c.expected);
  EXPECT_EQ(diagnostics, c.diagnostics);
}

INSTANTIATE_TEST_SUITE_P(
    Structure, ParseTest,
    ::testing::Values(
        ParseCase{"EmptyText", "", "null", kUnknown + kNulFound},
        ParseCase{"EmptyObject", "{}", "{}", ""},
        ParseCase{"EmptyObjectWithSpace", " {\t\n\v\f\r} ", "{}", ""},
        ParseCase{"EmptyArray", "[]", "[]", ""},
        ParseCase{"EmptyArrayWithSpace", "\r\n[ \t ]", "[]", ""},
        ParseCase{"TrailingCommaInArray", "[1,]", "[1,null]", kUnknown + "]'\n"},
        ParseCase{"MissingArrayComma", "[1 2]", "[]", kArray + "2'\n"},
        ParseCase{"MissingColon", "{\"a\" 1}", "{}", kColon + "1'\n"},
        ParseCase{"MissingObjectComma", "{\"a\":1 \"b\":2}", "{\"a\":1}", kComma + "\"'\n"},
        ParseCase{"RepeatedKeyReplaces", "{\"a\":1,\"a\":2}", "{\"a\":2}", ""},
        ParseCase{"BoolKeyIsEmptyKey", "{true:2}", "{\"\":2}", ""},
        ParseCase{"NumberKey", "{1:2}", "{}", kNumber + ":'\n" + kColon + "2'\n"},
        ParseCase{"KeysInByteOrder", "{\"b\":1,\"\xc3\xa9\":2,\"a\":[true,false,null],\"\\u00e8\":{}}",
                  "{\"a\":[true,false,null],\"b\":1,\"\xc3\xa8\":{},\"\xc3\xa9\":2}", ""},
        ParseCase{"KeyStoredEscaped", "{\"a\\nb\":1}", "{\"a\\nb\":1}", ""},
        ParseCase{"NestedValues", "{ \"x\" : [ 1 , { \"y\" : \"z\" } ] , \"w\":-0.5 }",
                  "{\"w\":-0.5f,\"x\":[1,{\"y\":\"z\"}]}", ""},
        ParseCase{"TextAfterValueIgnored", "{\"k\":1} and more words", "{\"k\":1}", ""},
        ParseCase{"NulByteIsNotSpace", "[1,\0 2]"s, "[]", kUnknown + kNulFound + kArray + kNulFound},
        ParseCase{"HighByteIsNotSpace", "\x80", "null", kUnknown + "\x80'\n"},
        ParseCase{"UnclosedArray", "[1,", "[]", kUnknown + kNulFound + kArray + kNulFound},
        ParseCase{"UnclosedObject", "{\"a\":1", "{\"a\":null}", kNumber + kNulFound + kComma + kNulFound}),
    [](const auto& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Strings, ParseTest,
    ::testing::Values(
        ParseCase{"SimpleEscapes", "\"q\\\"s\\/b\\bf\\fn\\nr\\rt\\t\"", "\"q\"s/b\bf\fn\nr\rt\t\"", ""},
        ParseCase{"UnicodeEscapesDecodeToUtf8", "\"\\u0041\\u00e9\\uABCD\\u0000\"", "\"A\xc3\xa9\xea\xaf\x8d\0\""s, ""},
        ParseCase{"SurrogatePairIsOneCodePoint", "\"\\ud83d\\uDE00\\udbff\\udfff\"", "\"\xf0\x9f\x98\x80\xf4\x8f\xbf\xbf\"", ""},
        ParseCase{"LoneSurrogatesKeptAsWritten", "\"\\ud800x\\udc00\\ud800\\ud800\\ud83d\\u0041\"",
                  "\"\\ud800x\\udc00\\ud800\\ud800\\ud83dA\"", ""},
        ParseCase{"BadUnicodeEscape", "\"\\u00G1\"", "\"\"", kHex + "G'\n"},
        ParseCase{"UnicodeEscapeCutByEnd", "\"\\u00", "\"\"", kHex + kNulFound},
        ParseCase{"OtherEscapeGivesBackslash", "\"\\q\\\\\"", "\"\\\\\"", ""},
        ParseCase{"RawBytesPassThrough", "\"\x01\t\xff\xe4\xb8\xad\"", "\"\x01\t\xff\xe4\xb8\xad\"", ""},
        ParseCase{"UnterminatedString", "\"abc", "\"abc\"", kQuote + kNulFound},
        ParseCase{"BackslashAsLastByte", "\"ab\\", "\"ab\"", kQuote + kNulFound},
        ParseCase{"UnterminatedKey", "{\"a", "{}", kQuote + kNulFound + kColon + kNulFound},
        ParseCase{"BadEscapeInKeyGivesEmptyKey", "{\"\\uZ\":1}", "{}", kHex + "Z'\n" + kColon + "u'\n"}),
    [](const auto& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Numbers, ParseTest,
    ::testing::Values(
        ParseCase{"Integer", "3 ", "3", ""}, ParseCase{"NegativeInteger", "-7 ", "-7", ""},
        ParseCase{"Fraction", "0.5 ", "0.5f", ""}, ParseCase{"Exponent", "1.5e2 ", "150f", ""},
        ParseCase{"ExponentPlus", "1E+2 ", "100f", ""}, ParseCase{"ExponentMinus", "2e-1 ", "0.2f", ""},
        ParseCase{"IntegerWithExponent", "2e3 ", "2000f", ""},
        ParseCase{"ZeroExponentIsFloat", "[1e0]", "[1f]", ""},
        ParseCase{"LeadingZeros", "007,", "7", ""},
        ParseCase{"SmallestInteger", "-2147483648 ", "-2147483648", ""},
        ParseCase{"LargestInteger", "2147483647}", "2147483647", ""},
        ParseCase{"SecondPointEndsPrefix", "1.2.3 ", "1.2f", ""},
        ParseCase{"MinusEndsPrefix", "1-2 ", "1", ""},
        ParseCase{"NumberAtEndOfText", "42", "null", kNumber + kNulFound},
        ParseCase{"UnexpectedCharacter", "1x", "null", kNumber + "x'\n"},
        ParseCase{"UnexpectedCharacterInArray", "[1x]", "[null]", kNumber + "x'\n"},
        ParseCase{"BadExponentCharacter", "1e5x", "null", kExponent + "x'\n"},
        ParseCase{"ExponentAtEndOfText", "1e", "null", kExponent + kNulFound},
        ParseCase{"NumbersInArray", "[1, -2.25,3e1]", "[1,-2.25f,30f]", ""}),
    [](const auto& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Literals, ParseTest,
    ::testing::Values(
        ParseCase{"True", "true", "true", ""}, ParseCase{"False", "false", "false", ""},
        ParseCase{"Null", "null", "null", ""}, ParseCase{"TrueThenOther", "trueX", "true", ""},
        ParseCase{"ShortTrue", "tru", "null", kBool + "tru'\n"},
        ParseCase{"BadFalse", "falsy]", "null", kBool + "falsy'\n"},
        ParseCase{"ShortNull", "nul", "null", kNull + "nul'\n"},
        ParseCase{"BadNull", "nulL", "null", kNull + "nulL'\n"},
        ParseCase{"LiteralsInArray", "[true,false ,null]", "[true,false,null]", ""}),
    [](const auto& info) { return info.param.name; });

struct ThrowCase {
  std::string name;
  std::string text;
  bool out_of_range;  // otherwise invalid_argument
  std::string message;
};

class ParseThrowTest : public ::testing::TestWithParam<ThrowCase> {};

TEST_P(ParseThrowTest, NumberConversionThrows) {
  const ThrowCase& c = GetParam();
  StderrCapture capture;
  try {
    JsonValue::Parse(c.text);
    ADD_FAILURE() << "no exception";
  } catch (const std::out_of_range& error) {
    EXPECT_TRUE(c.out_of_range);
    EXPECT_STREQ(error.what(), c.message.c_str());
  } catch (const std::invalid_argument& error) {
    EXPECT_FALSE(c.out_of_range);
    EXPECT_STREQ(error.what(), c.message.c_str());
  }
  EXPECT_EQ(capture.Finish(), "");
}

const std::string kInvalidStol = "invalid stol argument";
const std::string kStolRange = "stol argument out of range";
const std::string kInvalidStod = "invalid stod argument";
const std::string kStodRange = "stod argument out of range";

INSTANTIATE_TEST_SUITE_P(
    Conversions, ParseThrowTest,
    ::testing::Values(
        ThrowCase{"IntegerTooLarge", "3000000000 ", true, kStolRange},
        ThrowCase{"IntegerJustTooLarge", "2147483648 ", true, kStolRange},
        ThrowCase{"IntegerJustTooSmall", "-2147483649 ", true, kStolRange},
        ThrowCase{"TenThousandDigits", std::string(10000, '9').append(" "), true, kStolRange},
        ThrowCase{"EmptyExponent", "1e,", false, kInvalidStol},
        ThrowCase{"EmptyNegativeExponent", "1e-]", false, kInvalidStol},
        ThrowCase{"LoneMinus", "- ", false, kInvalidStol},
        ThrowCase{"TwoMinuses", "--1 ", false, kInvalidStol},
        ThrowCase{"ExponentTooLarge", "1e99999999999 ", true, kStolRange},
        ThrowCase{"LonePointAfterMinus", "-. ", false, kInvalidStod},
        ThrowCase{"InsideArray", "[1, [2, -.]]", false, kInvalidStod},
        ThrowCase{"DoubleOverflow", std::string("1").append(400, '0').append(".5 "), true, kStodRange},
        ThrowCase{"DoubleUnderflow", std::string("0.").append(400, '0').append("1 "), true, kStodRange}),
    [](const auto& info) { return info.param.name; });

TEST(ParseNumbers, FloatsAreComputedAsBaseTimesPowerOfTen) {
  struct Expectation {
    const char* text;
    double value;
  };
  for (const Expectation& e : {Expectation{"2e-1 ", 2.0 * std::pow(10.0, -1.0)},
                               Expectation{"0.1e-2 ", 0.1 * std::pow(10.0, -2.0)},
                               Expectation{"123.456 ", 123.456},
                               Expectation{"-0.0 ", -0.0},
                               Expectation{"7e400 ", HUGE_VAL}}) {
    bool ok = false;
    const double got = JsonValue::Parse(e.text).AsFloat(ok);
    EXPECT_TRUE(ok) << e.text;
    EXPECT_EQ(std::signbit(got), std::signbit(e.value)) << e.text;
    EXPECT_EQ(got, e.value) << e.text;
  }
}

std::string Nested(std::size_t levels) { return std::string(levels, '[') + std::string(levels, ']'); }

TEST(ParseNesting, AcceptsTheLimit) {
  StderrCapture capture;
  const JsonValue value = JsonValue::Parse(Nested(JsonValue::kMaxNesting));
  EXPECT_EQ(capture.Finish(), "");
  const JsonValue* level = &value;
  for (std::uint32_t depth = 1; depth < JsonValue::kMaxNesting; ++depth) {
    ASSERT_EQ(level->Size(), 1u) << depth;
    level = level->At(0);
  }
  EXPECT_EQ(level->Kind(), JsonKind::Array);
  EXPECT_EQ(level->Size(), 0u);
}

TEST(ParseNesting, DeeperWritesOneLineAndYieldsNull) {
  const std::string objects = [] {
    std::string text;
    for (int i = 0; i < 600; ++i) text += "{\"k\":";
    return text;
  }();
  const struct {
    std::string text;
    std::size_t position;
  } cases[] = {{Nested(JsonValue::kMaxNesting + 1), 512},
               {std::string(200000, '['), 512},
               {objects, 512 * 5},
               {"[1, {\"a\": " + std::string(100000, '[') + "}]", 9 + 511}};
  for (const auto& c : cases) {
    StderrCapture capture;
    const JsonValue value = JsonValue::Parse(c.text);
    const std::string found = c.text.substr(c.position, 1);
    EXPECT_EQ(capture.Finish(), "ERROR: Parse: Nesting deeper than 512 levels at position " +
                                  std::to_string(c.position) + ", found '" + found + "'\n");
    EXPECT_EQ(value.Kind(), JsonKind::Null);
  }
}

}  // namespace
}  // namespace lumo::typing::text
