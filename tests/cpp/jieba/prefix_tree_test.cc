#include "tokenizer/jieba/prefix_tree.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <utility>
#include <vector>

namespace lumo::typing::text::jieba {
namespace {

using Word = std::vector<Rune>;

// Every walk and lookup of a tree over random words checked against a map of
// the same words. fan_out distinct runes follow the rune 'M' (a node whose
// child count sits around the switch from scanning to hashing), and the
// alphabet mixes ASCII, Han and code points above the Basic Multilingual Plane.
class PrefixTreeTest : public ::testing::TestWithParam<int> {};

TEST_P(PrefixTreeTest, WalksAndLookupsMatchAMapOfTheWords) {
  const std::vector<Rune> alphabet{'a', 'b', 0x4E2D, 0x6587, 0x1F600, 0x20000, 0x1FFFFF};
  std::mt19937 random(GetParam());
  std::vector<DictEntry> entries;
  const auto add = [&entries](const Word& word) {
    DictEntry entry;
    for (Rune code_point : word) entry.word.push_back(code_point);
    entry.weight = -static_cast<double>(entries.size()) - 0.5;
    entries.push_back(std::move(entry));
  };
  for (int k = 0; k < GetParam(); ++k) add({'M', static_cast<Rune>(0x3000 + 7 * k)});
  for (int k = 0; k < 400; ++k) {
    Word word(1 + random() % 4);
    for (Rune& code_point : word) code_point = alphabet[random() % alphabet.size()];
    add(word);  // repeats included: the later entry wins
  }
  add({});  // skipped
  std::map<Word, std::size_t> expected;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (!entries[i].word.empty()) expected[Word(entries[i].word.begin(), entries[i].word.end())] = i;
  }
  const PrefixTree tree(entries);
  const auto expected_entry = [&](const Rune* begin, std::size_t size) -> const DictEntry* {
    const auto found = expected.find(Word(begin, begin + size));
    return found == expected.end() ? nullptr : &entries[found->second];
  };

  std::vector<Rune> text(300);
  for (Rune& code_point : text) code_point = random() % 5 == 0 ? 'M' : alphabet[random() % alphabet.size()];
  for (std::size_t k = 0; k < text.size(); k += 9) text[k + 1] = 0x3000 + 7 * (random() % (GetParam() + 2));
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::size_t max_runes = 1 + i % 5;
    std::vector<std::pair<std::size_t, const DictEntry*>> want;
    for (std::size_t j = 0; j < std::min(max_runes, text.size() - i); ++j) {
      const DictEntry* entry = expected_entry(&text[i], j + 1);
      if (j == 0 || entry != nullptr) want.emplace_back(j, entry);
      EXPECT_EQ(tree.Find(&text[i], &text[i] + j + 1), entry) << i << " " << j;
    }
    std::vector<std::pair<std::size_t, const DictEntry*>> words;
    tree.ForEachWordAt(&text[i], text.size() - i, max_runes,
                       [&](std::size_t j, const DictEntry* entry) { words.emplace_back(j, entry); });
    EXPECT_EQ(words, want) << i;
    std::vector<std::pair<std::size_t, double>> weights;
    tree.ForEachWeightAt(&text[i], text.size() - i, max_runes, 1.0,
                         [&](std::size_t j, double weight) { weights.emplace_back(j, weight); });
    ASSERT_EQ(weights.size(), want.size()) << i;
    for (std::size_t k = 0; k < want.size(); ++k) {
      EXPECT_EQ(weights[k].second, want[k].second == nullptr ? 1.0 : want[k].second->weight) << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(FanOuts, PrefixTreeTest, ::testing::Values(0, 8, 9, 17, 300));

TEST(PrefixTreeEmptyTest, EveryLookupMisses) {
  const std::vector<DictEntry> none;
  for (const PrefixTree& tree : {PrefixTree(), PrefixTree(none)}) {
    const Rune runes[] = {'a', 0x20000};
    EXPECT_EQ(tree.Find(runes, runes + 2), nullptr);
    EXPECT_EQ(tree.Find(runes + 1, runes + 2), nullptr);
    std::vector<std::pair<std::size_t, const DictEntry*>> words;
    tree.ForEachWordAt(runes + 1, 1, 512, [&](std::size_t j, const DictEntry* entry) { words.emplace_back(j, entry); });
    EXPECT_EQ(words, (std::vector<std::pair<std::size_t, const DictEntry*>>{{0, nullptr}}));
  }
}

}  // namespace
}  // namespace lumo::typing::text::jieba
