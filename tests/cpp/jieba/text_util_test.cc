#include "tokenizer/jieba/text_util.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "support/temp_dir.h"
#include "common/line_reader.h"

namespace lumo::typing::text::jieba {
namespace {

struct SplitCase {
  std::string text;
  std::string separators;
  std::vector<std::string> expected;
};

class SplitOnAnyTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitOnAnyTest, CopiesAndViewsAgree) {
  const SplitCase& c = GetParam();
  std::vector<std::string> pieces{"left over"};
  SplitOnAny(c.text, pieces, c.separators);
  EXPECT_EQ(pieces, c.expected);
  std::vector<std::string_view> views{"left over"};
  SplitOnAny(c.text, views, c.separators);
  EXPECT_EQ(std::vector<std::string>(views.begin(), views.end()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, SplitOnAnyTest,
                         ::testing::Values(SplitCase{"a,,b", ",", {"a", "", "b"}}, SplitCase{",a", ",", {"", "a"}},
                                           SplitCase{"a,", ",", {"a"}}, SplitCase{"a,,", ",", {"a", ""}},
                                           SplitCase{"", ",", {}}, SplitCase{",", ",", {""}},
                                           SplitCase{"x|y;z", "|;", {"x", "y", "z"}},
                                           SplitCase{"abc", ",", {"abc"}},
                                           // Separators are single bytes, never multi-byte sequences.
                                           SplitCase{"a\xEF\xBC\x8C" "b", "\xBC", {"a\xEF", "\x8C" "b"}}));

struct TrimCase {
  std::string text;
  std::string expected;
};

class TrimSpaceTest : public ::testing::TestWithParam<TrimCase> {};

TEST_P(TrimSpaceTest, TrimsPosixSpaceOnBothEnds) {
  std::string text = GetParam().text;
  std::string& result = TrimSpace(text);
  EXPECT_EQ(&result, &text);
  EXPECT_EQ(text, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, TrimSpaceTest,
                         ::testing::Values(TrimCase{" \t# x \r", "# x"}, TrimCase{"", ""}, TrimCase{" \n\v\f\r\t", ""},
                                           TrimCase{"a", "a"}, TrimCase{"\xC2\xA0" "a\xA0", "\xC2\xA0" "a\xA0"}));

struct LinesCase {
  std::string content;
  std::vector<std::string> expected;
};

class LineReadingTest : public ::testing::TestWithParam<LinesCase> {};

TEST_P(LineReadingTest, ReaderAndWholeFileSplitAgree) {
  lumo::testing::TempDir dir;
  const std::string path = dir.Write("data.txt", GetParam().content);
  LineReader reader(path);
  ASSERT_TRUE(reader.is_open());
  std::vector<std::string> read;
  std::string line;
  while (reader.Next(line)) read.push_back(line);
  EXPECT_EQ(read, GetParam().expected);

  std::vector<std::string> split;
  ForEachLine(GetParam().content, [&](std::string_view view) { split.emplace_back(view); });
  EXPECT_EQ(split, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, LineReadingTest,
                         ::testing::Values(LinesCase{"a\nb\n", {"a", "b"}}, LinesCase{"a\r\nb\r\n", {"a", "b"}},
                                           LinesCase{"a\nb", {"a", "b"}}, LinesCase{"", {}},
                                           LinesCase{"\n\n", {"", ""}}, LinesCase{"a\n\nb", {"a", "", "b"}},
                                           LinesCase{"\xEF\xBB\xBFx y\n", {"\xEF\xBB\xBFx y"}},
                                           LinesCase{" a \r\r\n", {" a \r"}}, LinesCase{"a\rb\n", {"a\rb"}}));

TEST(LineReaderTest, MissingFileIsNotOpen) {
  lumo::testing::TempDir dir;
  LineReader reader(dir.Path("absent.txt"));
  EXPECT_FALSE(reader.is_open());
  std::string line;
  EXPECT_FALSE(reader.Next(line));
}

}  // namespace
}  // namespace lumo::typing::text::jieba
