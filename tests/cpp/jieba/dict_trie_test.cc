#include "tokenizer/jieba/dict_trie.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/log_lines.h"
#include "support/stderr_capture.h"
#include "support/temp_dir.h"
#include "tokenizer/jieba/constants.h"
#include "common/log.h"

namespace lumo::typing::text::jieba {
namespace {

using lumo::testing::LogMessages;
using lumo::testing::StderrCapture;
using lumo::testing::TempDir;

RuneList Runes(const std::string& text) {
  RuneList runes;
  EXPECT_TRUE(DecodeRunes(text, runes));
  return runes;
}

// The lattice as (end, word text or "-") per cell, for readable expectations.
using CellView = std::vector<std::pair<std::uint64_t, std::string>>;

std::string WordText(const DictEntry* entry) {
  if (entry == nullptr) return "-";
  std::string text;
  for (Rune code_point : entry->word) text.push_back(static_cast<char>(code_point));  // ASCII words only
  return text;
}

std::vector<CellView> Lattice(const DictTrie& trie, const std::string& text, std::size_t max = MAX_WORD_RUNES) {
  const RuneList runes = Runes(text);
  std::vector<LatticeCell> cells;
  trie.BuildLattice(runes.begin(), runes.end(), cells, max);
  std::vector<CellView> view;
  for (const LatticeCell& cell : cells) {
    CellView cell_view;
    for (const LatticeCandidate& candidate : cell.candidates) cell_view.emplace_back(candidate.end, WordText(candidate.entry));
    view.push_back(cell_view);
  }
  return view;
}

const DictEntry* Lookup(const DictTrie& trie, const std::string& text) {
  const RuneList runes = Runes(text);
  return trie.LookupWord(runes.begin(), runes.end());
}

class DictTrieTest : public ::testing::Test {
 protected:
  // Builds a trie from main dictionary text and user files (name, content),
  // joined into the path list with separator.
  std::unique_ptr<DictTrie> Build(const std::string& main_text, const std::vector<std::string>& user_texts = {}) {
    const std::string main_path = dir_.Write("main.txt", main_text);
    std::string user_paths;
    for (std::size_t i = 0; i < user_texts.size(); ++i) {
      if (i > 0) user_paths += ";";
      user_paths += dir_.Write("user" + std::to_string(i) + ".txt", user_texts[i]);
    }
    return std::make_unique<DictTrie>(main_path, user_paths);
  }

  // The FATAL message and the log messages of a construction that must fail.
  std::pair<std::string, std::vector<std::string>> BuildFailure(const std::string& main_path,
                                                                const std::string& user_paths) {
    StderrCapture capture;
    std::string what = "(no exception)";
    try {
      DictTrie trie(main_path, user_paths);
    } catch (const FatalError& error) {
      what = error.what();
    }
    return {what, LogMessages(capture.Finish())};
  }

  TempDir dir_;
};

TEST_F(DictTrieTest, LatticeListsSingleRuneFirstThenWordsByRisingEnd) {
  auto trie = Build("AB 1 n\nABC 1 n\nX 1 n\n");
  EXPECT_EQ(Lattice(*trie, "ABC"), (std::vector<CellView>{{{0, "-"}, {1, "AB"}, {2, "ABC"}}, {{1, "-"}}, {{2, "-"}}}));
  // A rune that starts no word, and a lone one-rune word.
  EXPECT_EQ(Lattice(*trie, "ZX"), (std::vector<CellView>{{{0, "-"}}, {{1, "X"}}}));
  EXPECT_TRUE(Lattice(*trie, "").empty());
}

TEST_F(DictTrieTest, OneRuneWordStartsItsCell) {
  auto trie = Build("A 1 n\nAB 1 n\nABC 1 n\n");
  EXPECT_EQ(Lattice(*trie, "ABC")[0], (CellView{{0, "A"}, {1, "AB"}, {2, "ABC"}}));
}

TEST_F(DictTrieTest, PrefixWithoutEntryIsPassedThrough) {
  auto trie = Build("ABCD 1 n\nAB 1 n\n");
  EXPECT_EQ(Lattice(*trie, "ABCDE")[0], (CellView{{0, "-"}, {1, "AB"}, {3, "ABCD"}}));
  EXPECT_EQ(Lattice(*trie, "ABCDE")[1], (CellView{{1, "-"}}));
}

TEST_F(DictTrieTest, MaxWordRunesBoundsTheCandidates) {
  auto trie = Build("A 1 n\nAB 1 n\nABC 1 n\n");
  EXPECT_EQ(Lattice(*trie, "ABC", 2)[0], (CellView{{0, "A"}, {1, "AB"}}));
  EXPECT_EQ(Lattice(*trie, "ABC", 1)[0], (CellView{{0, "A"}}));
  EXPECT_EQ(Lattice(*trie, "ABC", 0)[0], (CellView{{0, "A"}}));  // the single rune is always listed
}

TEST_F(DictTrieTest, WordsOfMoreThan512RunesAreNeverCandidates) {
  const std::string w512(512, 'a');
  const std::string w513(513, 'b');
  auto trie = Build(w512 + " 1 n\n" + w513 + " 1 n\n");
  const auto a_cells = Lattice(*trie, w512 + "a");
  ASSERT_EQ(a_cells[0].size(), 2u);
  EXPECT_EQ(a_cells[0][1].first, 511u);
  EXPECT_EQ(Lattice(*trie, w513)[0], (CellView{{0, "-"}}));
  // The tree still holds it: only the lattice is bounded.
  EXPECT_NE(Lookup(*trie, w513), nullptr);
}

TEST_F(DictTrieTest, LatticeReplacesCellsLeftInTheOutput) {
  auto trie = Build("AB 1 n\n");
  const RuneList runes = Runes("AB");
  std::vector<LatticeCell> cells(5);
  cells[0].candidates.push_back(LatticeCandidate{9, nullptr});
  trie->BuildLattice(runes.begin(), runes.end(), cells, MAX_WORD_RUNES);
  ASSERT_EQ(cells.size(), 2u);
  EXPECT_EQ(cells[0].candidates.size(), 2u);
  EXPECT_EQ(cells[0].candidates[0].end, 0u);
}

TEST_F(DictTrieTest, LatticeOfManyCandidatesOutgrowsTheInsideRoom) {
  std::string main;
  for (int length = 1; length <= 40; ++length) main += std::string(length, 'q') + " 1 n\n";
  auto trie = Build(main);
  const auto cells = Lattice(*trie, std::string(40, 'q'));
  ASSERT_EQ(cells[0].size(), 40u);
  for (std::size_t k = 0; k < 40; ++k) EXPECT_EQ(cells[0][k].first, k);
  EXPECT_EQ(cells[39].size(), 1u);
}

TEST_F(DictTrieTest, LookupWordFindsExactWordsOnly) {
  auto trie = Build("AB 2 n\nABC 2 v\n");
  ASSERT_NE(Lookup(*trie, "ABC"), nullptr);
  EXPECT_EQ(Lookup(*trie, "ABC")->tag, "v");
  EXPECT_EQ(Lookup(*trie, "AB")->tag, "n");
  EXPECT_EQ(Lookup(*trie, ""), nullptr);
  EXPECT_EQ(Lookup(*trie, "A"), nullptr);     // proper prefix
  EXPECT_EQ(Lookup(*trie, "AZ"), nullptr);    // unknown rune
  EXPECT_EQ(Lookup(*trie, "ABCD"), nullptr);  // longer than every word
}

TEST_F(DictTrieTest, CodePointsBeyondTheBasicPlaneAndWideTrees) {
  // U+1F600 and U+20000 at the root, plus a node with many children.
  std::string main = "\xF0\x9F\x98\x80 1 x\n\xF0\xA0\x80\x80\xE4\xB8\xAD 1 y\n";
  for (char c = 'a'; c <= 'z'; ++c) main += std::string("M") + c + " 1 z\n";
  auto trie = Build(main);
  EXPECT_EQ(Lookup(*trie, "\xF0\x9F\x98\x80")->tag, "x");
  EXPECT_EQ(Lookup(*trie, "\xF0\xA0\x80\x80\xE4\xB8\xAD")->tag, "y");
  EXPECT_EQ(Lookup(*trie, "\xF0\xA0\x80\x80"), nullptr);
  for (char c = 'a'; c <= 'z'; ++c) EXPECT_NE(Lookup(*trie, std::string("M") + c), nullptr) << c;
  EXPECT_EQ(Lookup(*trie, "M{"), nullptr);
  EXPECT_EQ(Lookup(*trie, "M`"), nullptr);
}

TEST_F(DictTrieTest, WeightsAreLogSharesOfTheTotal) {
  auto trie = Build("x 1 n\ny 3 n\n", {"u\n"});
  EXPECT_DOUBLE_EQ(Lookup(*trie, "x")->weight, std::log(0.25));
  EXPECT_EQ(Lookup(*trie, "y")->weight, std::log(3.0 / 4.0));
  EXPECT_EQ(trie->MinWeight(), std::log(1.0 / 4.0));
  EXPECT_EQ(Lookup(*trie, "u")->weight, std::log(3.0 / 4.0));  // median: index 1 of 2
}

struct MedianCase {
  std::string main;
  double expected_numerator;
  double total;
};

class MedianTest : public DictTrieTest, public ::testing::WithParamInterface<MedianCase> {};

TEST_P(MedianTest, UserDefaultWeightIsTheUpperMiddleWeight) {
  auto trie = Build(GetParam().main, {"u\n"});
  EXPECT_EQ(Lookup(*trie, "u")->weight, std::log(GetParam().expected_numerator / GetParam().total));
}

INSTANTIATE_TEST_SUITE_P(Sizes, MedianTest,
                         ::testing::Values(MedianCase{"a 5 n\n", 5, 5}, MedianCase{"a 3 n\nb 1 n\nc 2 n\n", 2, 6},
                                           MedianCase{"a 4 n\nb 1 n\nc 3 n\nd 2 n\n", 3, 10},
                                           // Frequencies as atof reads them: a prefix, or 0.
                                           MedianCase{"a 2.5e0x n\nb 1.5 n\nc abc n\n", 1.5, 4}));

TEST_F(DictTrieTest, TrailingSpaceStillGivesThreeFields) {
  auto trie = Build("a 1 n \nb 1 v\n");
  EXPECT_EQ(Lookup(*trie, "a")->tag, "n");
}

TEST_F(DictTrieTest, LastLineWithoutLineFeedAndCarriageReturnsAreRead) {
  auto trie = Build("a 1 n\r\nb 1 v");
  EXPECT_EQ(Lookup(*trie, "a")->tag, "n");
  EXPECT_EQ(Lookup(*trie, "b")->tag, "v");
}

TEST_F(DictTrieTest, ByteOrderMarkStaysPartOfTheFirstWord) {
  auto trie = Build("\xEF\xBB\xBF" "a 1 n\n");
  EXPECT_EQ(Lookup(*trie, "a"), nullptr);
  EXPECT_NE(Lookup(*trie, "\xEF\xBB\xBF" "a"), nullptr);
}

TEST_F(DictTrieTest, UserLinesOfOneTwoAndThreeFields) {
  StderrCapture capture;
  auto trie = Build("x 1 n\ny 3 n\n", {"\nw1\nw2 tg\nw3 10 t3\nw4 2.9 t4\nw5 none t5\nw6 a b c\n\n"});
  EXPECT_TRUE(capture.Finish().empty());
  const double median = std::log(3.0 / 4.0);
  EXPECT_EQ(Lookup(*trie, "w1")->weight, median);
  EXPECT_EQ(Lookup(*trie, "w1")->tag, "");
  EXPECT_EQ(Lookup(*trie, "w2")->weight, median);
  EXPECT_EQ(Lookup(*trie, "w2")->tag, "tg");
  EXPECT_EQ(Lookup(*trie, "w3")->weight, std::log(10.0 / 4.0));
  EXPECT_EQ(Lookup(*trie, "w3")->tag, "t3");
  EXPECT_EQ(Lookup(*trie, "w4")->weight, std::log(2.0 / 4.0));
  EXPECT_EQ(Lookup(*trie, "w5")->weight, -INFINITY);
  EXPECT_EQ(Lookup(*trie, "w6"), nullptr);
  EXPECT_EQ(trie->MinWeight(), std::log(0.25));  // user words never change the statistics
}

TEST_F(DictTrieTest, UserSingleRuneSet) {
  auto trie = Build("x 1 n\n", {"\xE4\xB8\xAD\nab\nc 3 n\n"});
  EXPECT_TRUE(trie->IsUserSingleRuneWord(0x4E2D));
  EXPECT_TRUE(trie->IsUserSingleRuneWord('c'));
  EXPECT_FALSE(trie->IsUserSingleRuneWord('a'));
  EXPECT_FALSE(trie->IsUserSingleRuneWord('x'));  // a main dictionary word
}

TEST_F(DictTrieTest, LaterEntriesOverrideEarlierOnes) {
  auto trie = Build("w 1 main\nv 1 n\nv 1 again\n", {"w 1 first\n", "w second\n"});
  EXPECT_EQ(Lookup(*trie, "w")->tag, "second");
  EXPECT_EQ(Lookup(*trie, "v")->tag, "again");
  EXPECT_EQ(Lookup(*trie, "v")->weight, std::log(1.0 / 3.0));
}

struct PathListCase {
  std::string list;  // with A and B standing for the two user files
  std::vector<std::string> expected_tags;  // of the word w, "" when absent
};

class PathListTest : public DictTrieTest, public ::testing::WithParamInterface<PathListCase> {};

TEST_P(PathListTest, FilesAreReadInListOrder) {
  const std::string a = dir_.Write("a.txt", "w from_a\nonly_a x\n");
  const std::string b = dir_.Write("b.txt", "w from_b\nonly_b x\n");
  std::string list;
  for (char c : GetParam().list) list += c == 'A' ? a : c == 'B' ? b : std::string(1, c);
  DictTrie trie(dir_.Write("main.txt", "m 1 n\n"), list);
  const DictEntry* w = Lookup(trie, "w");
  EXPECT_EQ(w == nullptr ? "" : w->tag, GetParam().expected_tags[0]);
  EXPECT_EQ(Lookup(trie, "only_a") != nullptr, GetParam().expected_tags[1] == "a");
  EXPECT_EQ(Lookup(trie, "only_b") != nullptr, GetParam().expected_tags[2] == "b");
}

INSTANTIATE_TEST_SUITE_P(Lists, PathListTest,
                         ::testing::Values(PathListCase{"", {"", "", ""}}, PathListCase{"A;B", {"from_b", "a", "b"}},
                                           PathListCase{"B|A", {"from_a", "a", "b"}},
                                           PathListCase{"A;", {"from_a", "a", ""}}));

TEST_F(DictTrieTest, MainDictionaryDecodeFailureSkipsTheLineEntirely) {
  StderrCapture capture;
  auto trie = Build("x 1 n\nbad\xFF 100 n\ny 3 n\n", {"u\n", "ok 1 t\nz\xF8 1 t\n"});
  EXPECT_EQ(LogMessages(capture.Finish()),
            (std::vector<std::string>{"ERROR Decode bad\xFF failed.", "ERROR Decode z\xF8 failed."}));
  // The bad line counts neither toward the total nor the median.
  EXPECT_EQ(Lookup(*trie, "x")->weight, std::log(0.25));
  EXPECT_EQ(Lookup(*trie, "u")->weight, std::log(0.75));
  EXPECT_NE(Lookup(*trie, "ok"), nullptr);
  EXPECT_EQ(trie->EntryCount(), 4u);
}

TEST_F(DictTrieTest, UserDecodeFailureOfASingleRuneAddsNothing) {
  StderrCapture capture;
  auto trie = Build("x 1 n\n", {"\xE4\n"});
  EXPECT_EQ(LogMessages(capture.Finish()), (std::vector<std::string>{"ERROR Decode \xE4 failed."}));
  EXPECT_EQ(trie->EntryCount(), 1u);
}

struct FatalCase {
  std::string name;
  std::string main_content;       // written to main.txt unless main_path is set
  std::string main_path;          // relative to the temp dir; empty for main.txt
  std::string user_list;          // $D is replaced by the temp dir
  std::string expected_message;   // $D is replaced by the temp dir
};

class FatalTest : public DictTrieTest, public ::testing::WithParamInterface<FatalCase> {};

std::string ReplaceDir(std::string text, const std::string& dir) {
  for (std::size_t at = text.find("$D"); at != std::string::npos; at = text.find("$D", at + dir.size())) {
    text.replace(at, 2, dir);
  }
  return text;
}

TEST_P(FatalTest, WritesTheFatalLineAndThrowsItsMessage) {
  const FatalCase& c = GetParam();
  dir_.Write("u.txt", "w\n");
  const std::string main_path = c.main_path.empty() ? dir_.Write("main.txt", c.main_content) : dir_.Path(c.main_path);
  const auto [what, messages] = BuildFailure(main_path, ReplaceDir(c.user_list, dir_.path()));
  const std::string expected = ReplaceDir(c.expected_message, dir_.path());
  EXPECT_EQ(what, expected);
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back(), "FATAL " + expected);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, FatalTest,
    ::testing::Values(
        FatalCase{"MissingMain", "", "d.txt", "", "exp: [ifs.is_open()] false. open $D/d.txt failed."},
        FatalCase{"EmptyLine", "a 1 n\n\nb 1 n\n", "", "", "exp: [buf.size() == DICT_COLUMN_NUM] false. split result illegal, line:"},
        FatalCase{"DoubleSpace", "a  1 n\n", "", "", "exp: [buf.size() == DICT_COLUMN_NUM] false. split result illegal, line:a  1 n"},
        FatalCase{"Tab", "a\t1 n\n", "", "", "exp: [buf.size() == DICT_COLUMN_NUM] false. split result illegal, line:a\t1 n"},
        FatalCase{"FourFields", "a 1 n x\r\n", "", "", "exp: [buf.size() == DICT_COLUMN_NUM] false. split result illegal, line:a 1 n x"},
        FatalCase{"EmptyMain", "", "", "", "exp: [!static_node_infos_.empty()] false. "},
        FatalCase{"OnlyUndecodableMain", "\xFF 1 n\n", "", "", "exp: [!static_node_infos_.empty()] false. "},
        FatalCase{"MissingUser", "a 1 n\n", "", "$D/u.txt|$D/nope.txt", "exp: [ifs.is_open()] false. open $D/nope.txt failed"},
        FatalCase{"EmptyPiece", "a 1 n\n", "", "$D/u.txt;;$D/u.txt", "exp: [ifs.is_open()] false. open  failed"},
        FatalCase{"PathsAreNotTrimmed", "a 1 n\n", "", "$D/u.txt; $D/u.txt", "exp: [ifs.is_open()] false. open  $D/u.txt failed"}),
    [](const ::testing::TestParamInfo<FatalCase>& info) { return info.param.name; });

}  // namespace
}  // namespace lumo::typing::text::jieba
