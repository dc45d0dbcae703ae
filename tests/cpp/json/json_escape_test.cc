#include <gtest/gtest.h>

#include <string>

#include "json/json_escape.h"
#include "json/json_value.h"

namespace lumo::typing::text {
namespace {

using namespace std::string_literals;

struct EscapeCase {
  std::string raw;
  std::string escaped;
};

class EscapeTest : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(EscapeTest, EscapesAndTurnsBack) {
  EXPECT_EQ(EscapeText(GetParam().raw), GetParam().escaped);
  EXPECT_EQ(HasEscapableByte(GetParam().raw), GetParam().raw != GetParam().escaped);
  EXPECT_EQ(UnescapeText(GetParam().escaped), GetParam().raw);
}

INSTANTIATE_TEST_SUITE_P(
    Table, EscapeTest,
    ::testing::Values(EscapeCase{"", ""}, EscapeCase{"plain", "plain"},
                      EscapeCase{"\b\t\n\f\r\"\\", "\\b\\t\\n\\f\\r\\\"\\\\"},
                      EscapeCase{"a\"b", "a\\\"b"},
                      EscapeCase{"\\n", "\\\\n"},  // a backslash and n, not a line feed
                      EscapeCase{"\0\x01\x0b\x1f\x7f/\x80\xff"s, "\0\x01\x0b\x1f\x7f/\x80\xff"s},
                      EscapeCase{"\xe4\xb8\xad\n\xe6\x96\x87", "\xe4\xb8\xad\\n\xe6\x96\x87"}));

TEST(EscapeTextForJson, WritesOtherControlBytesAsLowercaseUnicodeEscapes) {
  EXPECT_EQ(EscapeTextForJson("\0a\x01\x1f\x1a\t\"\\\x7f\xe4\xb8\xad"s), "\\u0000a\\u0001\\u001f\\u001a\\t\\\"\\\\\x7f\xe4\xb8\xad");
  // Every one- and two-byte string comes back from the parser unchanged.
  for (int a = 0; a < 256; ++a) {
    for (int b = -1; b < 256; ++b) {
      std::string text(1, static_cast<char>(a));
      if (b >= 0) text.push_back(static_cast<char>(b));
      const JsonValue parsed = JsonValue::Parse("\"" + EscapeTextForJson(text) + "\"");
      bool ok = false;
      ASSERT_EQ(parsed.AsString(ok), text) << a << " " << b;
    }
  }
}

TEST(UnescapeText, KeepsEscapesItNeverWrites) {
  EXPECT_EQ(UnescapeText("\\q"), "\\q");
  EXPECT_EQ(UnescapeText("\\u0041"), "\\u0041");
  EXPECT_EQ(UnescapeText("\\/"), "\\/");
  EXPECT_EQ(UnescapeText("end\\"), "end\\");
  EXPECT_EQ(UnescapeText("\\\\\\"), "\\\\");
  EXPECT_EQ(UnescapeText("\\q\\n"), "\\q\n");
}

TEST(UnescapeText, InvertsEscapeForEveryByteString) {
  // Every one- and two-byte string, then pseudo-random longer ones drawn
  // mostly from the bytes that matter.
  for (int a = 0; a < 256; ++a) {
    const std::string one(1, static_cast<char>(a));
    ASSERT_EQ(UnescapeText(EscapeText(one)), one) << a;
    for (int b = 0; b < 256; ++b) {
      const std::string two = one + static_cast<char>(b);
      ASSERT_EQ(UnescapeText(EscapeText(two)), two) << a << " " << b;
    }
  }
  const char alphabet[] = {'\\', '"', 'n', 't', 'b', 'f', 'r', 'u', '\n', '\t', '\b', '\f', '\r', '\0', 'x', '\xff'};
  std::uint32_t state = 12345;
  for (int i = 0; i < 20000; ++i) {
    std::string text;
    const int length = static_cast<int>(state % 24);
    for (int j = 0; j < length; ++j) {
      state = state * 1103515245u + 12345u;
      text.push_back(alphabet[(state >> 16) % sizeof(alphabet)]);
    }
    state = state * 1103515245u + 12345u;
    ASSERT_EQ(UnescapeText(EscapeText(text)), text);
  }
}

}  // namespace
}  // namespace lumo::typing::text
