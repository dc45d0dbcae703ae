#include "tokenizer/jieba/rune.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lumo::typing::text::jieba {
namespace {

struct DecodeCase {
  std::string name;
  std::string bytes;
  std::vector<DecodedRune> expected;  // ignored when fails
  bool fails = false;
};

bool SameRune(const DecodedRune& a, const DecodedRune& b) {
  return a.code_point == b.code_point && a.byte_offset == b.byte_offset && a.byte_length == b.byte_length &&
         a.rune_offset == b.rune_offset && a.rune_length == b.rune_length;
}

class DecodeRunesTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeRunesTest, DecodesLenientlyWithOffsets) {
  const DecodeCase& c = GetParam();
  RuneList runes;
  runes.push_back(DecodedRune{7, 7, 7, 7, 7});  // the output is replaced, not appended to
  const bool ok = DecodeRunes(c.bytes, runes);
  ASSERT_EQ(ok, !c.fails);
  if (c.fails) {
    EXPECT_TRUE(runes.empty());
    EXPECT_TRUE(runes.UsesInsideRoom());
    return;
  }
  ASSERT_EQ(runes.size(), c.expected.size());
  for (std::size_t i = 0; i < runes.size(); ++i) {
    EXPECT_TRUE(SameRune(runes[i], c.expected[i]))
        << "rune " << i << ": code point " << std::hex << runes[i].code_point << " offset " << runes[i].byte_offset
        << " length " << runes[i].byte_length;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodeRunesTest,
    ::testing::Values(
        DecodeCase{"Empty", "", {}},
        DecodeCase{"ThreeByteRune", "\xE4\xB8\xAD", {{0x4E2D, 0, 3, 0, 1}}},
        DecodeCase{"MixedOffsets", "a\xE4\xB8\xAD" "b", {{'a', 0, 1, 0, 1}, {0x4E2D, 1, 3, 1, 1}, {'b', 4, 1, 2, 1}}},
        DecodeCase{"TwoByte", "\xC3\xA9", {{0xE9, 0, 2, 0, 1}}},
        DecodeCase{"FourByte", "\xF0\x9F\x98\x80", {{0x1F600, 0, 4, 0, 1}}},
        DecodeCase{"StrayContinuationLeadsTwoBytes", "\x80\x41", {{0x01, 0, 2, 0, 1}}},
        DecodeCase{"ContinuationBitsNotChecked", "\xE4\x41\x41", {{0x4041, 0, 3, 0, 1}}},
        DecodeCase{"Overlong", "\xC0\x80", {{0, 0, 2, 0, 1}}},
        DecodeCase{"Surrogate", "\xED\xA0\x80", {{0xD800, 0, 3, 0, 1}}},
        DecodeCase{"AboveUnicode", "\xF7\xBF\xBF\xBF", {{0x1FFFFF, 0, 4, 0, 1}}},
        DecodeCase{"LoneLeadAtEnd", "ab\xE4", {}, true},
        DecodeCase{"CutFourByte", "\xF0\x9F\x98", {}, true},
        DecodeCase{"CutTwoByte", "\xC3", {}, true},
        DecodeCase{"FFAnywhere", "ab\xFF" "cd", {}, true},
        DecodeCase{"F8Lead", "\xF8\x80\x80\x80\x80", {}, true}),
    [](const ::testing::TestParamInfo<DecodeCase>& info) { return info.param.name; });

TEST(DecodeRunesTest, ReservesHalfTheByteCount) {
  RuneList runes;
  const std::string text(300, 'x');
  ASSERT_TRUE(DecodeRunes(text.data(), 90, runes));  // pointer and byte count form
  EXPECT_EQ(runes.size(), 90u);
  EXPECT_EQ(runes.capacity(), 90u);  // 45 reserved, then doubled once
  std::string chinese;
  for (int i = 0; i < 100; ++i) chinese += "\xE4\xB8\xAD";
  ASSERT_TRUE(DecodeRunes(chinese, runes));
  EXPECT_EQ(runes.size(), 100u);
  EXPECT_EQ(runes.capacity(), 150u);  // never grown while decoding
  EXPECT_EQ(runes[99].byte_offset, 297u);
  EXPECT_EQ(runes[99].rune_offset, 99u);
}

TEST(DecodeCodePointsTest, KeepsOnlyCodePoints) {
  CodePointList code_points;
  ASSERT_TRUE(DecodeCodePoints("a\xE4\xB8\xAD\x80\x41", code_points));
  ASSERT_EQ(code_points.size(), 3u);
  EXPECT_EQ(code_points[0], static_cast<Rune>('a'));
  EXPECT_EQ(code_points[1], 0x4E2Du);
  EXPECT_EQ(code_points[2], 0x01u);
  EXPECT_FALSE(DecodeCodePoints("a\xFF", code_points));
  EXPECT_TRUE(code_points.empty());
  EXPECT_TRUE(DecodeCodePoints("", code_points));
  EXPECT_TRUE(code_points.empty());
}

}  // namespace
}  // namespace lumo::typing::text::jieba
