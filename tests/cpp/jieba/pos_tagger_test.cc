#include "tokenizer/jieba/pos_tagger.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "jieba/segmenter_fixtures.h"
#include "tokenizer/jieba/mix_segment.h"
#include "tokenizer/jieba/mp_segment.h"

namespace lumo::typing::text::jieba {
namespace {

using lumo::testing::DataFiles;
using lumo::testing::kToyModel;
using lumo::testing::LogMessages;
using lumo::testing::StderrCapture;

using Tagged = std::vector<std::pair<std::string, std::string>>;

// x9 has a tag although it is ASCII; 人民, a user word given without a tag,
// has the empty tag.
constexpr const char* kTaggedDict =
    "中国 4 ns\n"
    "x9 1 zz\n"
    "2024 1 t\n";
constexpr const char* kUntaggedUserDict = "人民\n";

class PosTaggerTest : public ::testing::Test {
 protected:
  PosTaggerTest() : trie_(files_.Dict(kTaggedDict, kUntaggedUserDict)), segment_(*trie_) {}

  DataFiles files_;
  std::unique_ptr<DictTrie> trie_;
  MPSegment segment_;
  PosTagger tagger_;
};

struct TagCase {
  std::string word;
  std::string tag;
};

class PosTaggerWordTest : public PosTaggerTest, public ::testing::WithParamInterface<TagCase> {};

TEST_P(PosTaggerWordTest, DictionaryTagOrGuess) {
  EXPECT_EQ(tagger_.TagOfWord(GetParam().word, segment_), GetParam().tag);
}

INSTANTIATE_TEST_SUITE_P(
    Words, PosTaggerWordTest,
    ::testing::Values(TagCase{"中国", "ns"},   // the dictionary's tag
                      TagCase{"x9", "zz"},     // the dictionary's tag, whatever the runes
                      TagCase{"2024", "t"},    // likewise, though a guess would say m
                      TagCase{"人民", "x"},    // empty dictionary tag: guessed
                      TagCase{"2025", "m"},    // digits only
                      TagCase{"abc", "eng"},   // letters
                      TagCase{"甲乙", "x"},    // no ASCII
                      TagCase{"a1", "eng"},    // judged by its first rune alone
                      TagCase{"1a", "m"},      // likewise
                      TagCase{"7", "x"},       // one rune: never visited
                      TagCase{"a", "x"},       // likewise
                      TagCase{"中a", "eng"},   // the visit goes on past non-ASCII runes
                      TagCase{"a中中中", "eng"},
                      TagCase{"1中中2", "m"},  // visited up to the end: ascii 2, digits 2
                      TagCase{"12ab", "m"},    // stops at half the word: a, b unseen
                      TagCase{"1_", "m"},      // ASCII punctuation counts as ASCII
                      TagCase{"_1", "eng"},
                      TagCase{"", "x"}));

TEST_F(PosTaggerTest, WordThatDoesNotDecodeIsTaggedXWithOneLogLine) {
  StderrCapture capture;
  EXPECT_EQ(tagger_.TagOfWord("ab\xF8", segment_), "x");
  EXPECT_EQ(LogMessages(capture.Finish()), (std::vector<std::string>{"ERROR Decode failed."}));
}

TEST_F(PosTaggerTest, TagSentenceAppendsOnePairPerWord) {
  Tagged tagged{{"kept", "k"}};
  EXPECT_TRUE(segment_.TagSentence("中国人民 x9", tagged));
  EXPECT_EQ(tagged, (Tagged{{"kept", "k"}, {"中国", "ns"}, {"人民", "x"}, {" ", "x"}, {"x9", "zz"}}));
}

TEST_F(PosTaggerTest, EmptySentenceAppendsNothing) {
  Tagged tagged;
  EXPECT_FALSE(segment_.TagSentence("", tagged));
  EXPECT_TRUE(tagged.empty());
  tagged.emplace_back("kept", "k");
  EXPECT_TRUE(segment_.TagSentence("", tagged));
  EXPECT_EQ(tagged.size(), 1u);
}

TEST_F(PosTaggerTest, UndecodableSentenceAppendsNothing) {
  Tagged tagged;
  StderrCapture capture;
  EXPECT_FALSE(segment_.TagSentence("中国\xF8", tagged));
  EXPECT_EQ(LogMessages(capture.Finish()), (std::vector<std::string>{"ERROR decode failed. "}));
  EXPECT_TRUE(tagged.empty());
}

TEST_F(PosTaggerTest, MixedSegmenterTagsItsOwnWords) {
  auto model = files_.Model(kToyModel);
  const MixSegment mix(*trie_, *model);
  Tagged tagged;
  EXPECT_TRUE(mix.TagSentence("中国abc甲乙2025", tagged));
  EXPECT_EQ(tagged, (Tagged{{"中国", "ns"}, {"abc", "eng"}, {"甲乙", "x"}, {"2025", "m"}}));
}

}  // namespace
}  // namespace lumo::typing::text::jieba
