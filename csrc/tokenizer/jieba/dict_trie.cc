#include "tokenizer/jieba/dict_trie.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>

#include "common/line_reader.h"
#include "common/log.h"
#include "tokenizer/jieba/text_util.h"

namespace lumo::typing::text::jieba {

namespace {

// Fields of a main dictionary line: word, frequency, part-of-speech tag.
constexpr std::size_t DICT_COLUMN_NUM = 3;

// The numeric readers want a terminated string; fields are views into the file.
double ParseFrequency(std::string_view field, std::string& scratch) {
  scratch.assign(field);
  return std::atof(scratch.c_str());
}

int ParseUserFrequency(std::string_view field, std::string& scratch) {
  scratch.assign(field);
  return std::atoi(scratch.c_str());
}

}  // namespace

DictTrie::DictTrie(const std::string& dict_path, const std::string& user_dict_paths) {
  LoadMainDictionary(dict_path);
  for (const DictEntry& entry : static_node_infos_) frequency_total_ += entry.weight;
  for (DictEntry& entry : static_node_infos_) entry.weight = std::log(entry.weight / frequency_total_);
  ComputeWeightStatistics();
  if (!user_dict_paths.empty()) LoadUserDictionaries(user_dict_paths);
  static_node_infos_.shrink_to_fit();  // the tree points into the list: it never moves again
  prefix_tree_ = PrefixTree(static_node_infos_);
  buf_ = {};
}

DictTrie::~DictTrie() = default;

bool DictTrie::MakeEntry(std::string_view word, double weight, std::string_view tag, DictEntry& entry) {
  if (!DecodeCodePoints(word, entry.word)) {
    LUMO_LOG_ERROR << "Decode " << word << " failed.";
    return false;
  }
  entry.weight = weight;
  entry.tag.assign(tag);
  return true;
}

void DictTrie::LoadMainDictionary(const std::string& path) {
  std::ifstream ifs;
  OpenDataFile(ifs, path);
  LUMO_FATAL_CHECK(ifs.is_open(), "ifs.is_open()", "open ", path, " failed.");
  const std::string text = ReadRemaining(ifs);
  static_node_infos_.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
  std::string scratch;
  std::vector<std::string_view>& buf = buf_;
  ForEachLine(text, [&](std::string_view line) {
    SplitOnAny(line, buf, " ");
    LUMO_FATAL_CHECK(buf.size() == DICT_COLUMN_NUM, "buf.size() == DICT_COLUMN_NUM", "split result illegal, line:", line);
    DictEntry entry;
    // A word that does not decode is dropped whole: it adds nothing to the
    // frequency total nor to the weight statistics.
    if (MakeEntry(buf[0], ParseFrequency(buf[1], scratch), buf[2], entry)) {
      static_node_infos_.push_back(std::move(entry));
    }
  });
}

void DictTrie::ComputeWeightStatistics() {
  LUMO_FATAL_CHECK(!static_node_infos_.empty(), "!static_node_infos_.empty()");
  std::vector<double> weights;
  weights.reserve(static_node_infos_.size());
  for (const DictEntry& entry : static_node_infos_) weights.push_back(entry.weight);
  std::stable_sort(weights.begin(), weights.end());
  lowest_weight_ = weights.front();
  user_default_weight_ = weights[weights.size() / 2];
}

void DictTrie::LoadUserDictionaries(const std::string& paths) {
  std::vector<std::string> pieces;
  SplitOnAny(paths, pieces, "|;");
  for (const std::string& path : pieces) {
    std::ifstream ifs;
    OpenDataFile(ifs, path);
    LUMO_FATAL_CHECK(ifs.is_open(), "ifs.is_open()", "open ", path, " failed");
    const std::string text = ReadRemaining(ifs);
    ForEachLine(text, [&](std::string_view line) {
      if (!line.empty()) AddUserLine(line);
    });
  }
}

void DictTrie::AddUserLine(std::string_view line) {
  std::vector<std::string_view>& buf = buf_;
  SplitOnAny(line, buf, " ");
  DictEntry entry;
  bool decoded = false;
  if (buf.size() == 1) {
    decoded = MakeEntry(buf[0], user_default_weight_, "", entry);
  } else if (buf.size() == 2) {
    decoded = MakeEntry(buf[0], user_default_weight_, buf[1], entry);
  } else if (buf.size() == 3) {
    std::string scratch;
    const double frequency = ParseUserFrequency(buf[1], scratch);
    decoded = MakeEntry(buf[0], std::log(frequency / frequency_total_), buf[2], entry);
  }
  // Lines of another field count, and words that do not decode, add no word;
  // keeping their empty entries would change nothing but the memory used.
  if (!decoded) return;
  if (entry.word.size() == 1) user_single_runes_.insert(entry.word[0]);
  static_node_infos_.push_back(std::move(entry));
}

const DictEntry* DictTrie::LookupWord(const DecodedRune* begin, const DecodedRune* end) const {
  return prefix_tree_.Find(begin, end);
}

void DictTrie::BuildLattice(const DecodedRune* begin, const DecodedRune* end, std::vector<LatticeCell>& cells,
                            std::size_t max_word_runes) const {
  prefix_tree_.FillLattice(begin, end, cells, max_word_runes);
}

double DictTrie::MinWeight() const { return lowest_weight_; }

bool DictTrie::IsUserSingleRuneWord(Rune code_point) const { return user_single_runes_.count(code_point) > 0; }

}  // namespace lumo::typing::text::jieba
