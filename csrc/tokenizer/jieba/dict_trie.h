// The engine's dictionary: every entry of the main and user dictionaries, and
// a prefix tree over their code points.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "tokenizer/jieba/dict_entry.h"
#include "tokenizer/jieba/lattice_cell.h"
#include "tokenizer/jieba/prefix_tree.h"
#include "tokenizer/jieba/rune.h"

namespace lumo::typing::text::jieba {

class DictTrie {
 public:
  // Loads the main dictionary and the user dictionaries listed in
  // user_dict_paths (separated by '|' or ';'; empty for none) and builds the
  // prefix tree. A missing or malformed file writes its FATAL line and throws
  // FatalError; nothing partly built survives.
  DictTrie(const std::string& dict_path, const std::string& user_dict_paths);
  DictTrie(const DictTrie&) = delete;
  DictTrie& operator=(const DictTrie&) = delete;
  DictTrie(DictTrie&&) = delete;  // the tree points into the entry list
  DictTrie& operator=(DictTrie&&) = delete;
  ~DictTrie();

  // The entry of exactly the runes [begin, end), or null (also for an empty
  // run and for a proper prefix of a word).
  const DictEntry* LookupWord(const DecodedRune* begin, const DecodedRune* end) const;
  const DictEntry* LookupWord(const Rune* begin, const Rune* end) const { return prefix_tree_.Find(begin, end); }

  // Calls on_word(j, entry) for each candidate of the lattice cell of
  // runes[0] over [0, size), in the order of BuildLattice: the single-rune
  // candidate (j = 0, entry null when the rune alone is no word), then every
  // word of at most max_word_runes runes by rising last position j. The walk
  // that BuildLattice makes for one cell, without storing the cell.
  template <typename OnWord>
  void ForEachWordAt(const Rune* runes, std::size_t size, std::size_t max_word_runes, OnWord&& on_word) const {
    prefix_tree_.ForEachWordAt(runes, size, max_word_runes, on_word);
  }

  // A hint that a walk from a rune of code_point comes soon.
  void PrefetchWalk(Rune code_point) const { prefix_tree_.Prefetch(code_point); }

  // The walk of ForEachWordAt giving on_word(j, weight): the candidate
  // entry's weight, or MinWeight() for a single rune that is no word.
  template <typename OnWord>
  void ForEachWeightAt(const Rune* runes, std::size_t size, std::size_t max_word_runes, OnWord&& on_word) const {
    prefix_tree_.ForEachWeightAt(runes, size, max_word_runes, lowest_weight_, on_word);
  }

  // Fills cells (expected empty) with one cell per rune of [begin, end): the
  // single-rune candidate first, then every dictionary word of at most
  // max_word_runes runes starting there, by rising end position.
  void BuildLattice(const DecodedRune* begin, const DecodedRune* end, std::vector<LatticeCell>& cells,
                    std::size_t max_word_runes) const;

  // The lowest weight among the main dictionary's entries.
  double MinWeight() const;

  // Whether a user dictionary defines the one-rune word code_point.
  bool IsUserSingleRuneWord(Rune code_point) const;

  // Number of entries kept, main and user dictionaries together (lines whose
  // word did not decode or whose field count is wrong are not kept).
  std::size_t EntryCount() const { return static_node_infos_.size(); }

 private:
  void LoadMainDictionary(const std::string& path);
  void ComputeWeightStatistics();
  void LoadUserDictionaries(const std::string& paths);
  void AddUserLine(std::string_view line);
  // Decodes word into entry; on failure writes the ERROR line and returns
  // false, leaving entry's word empty.
  static bool MakeEntry(std::string_view word, double weight, std::string_view tag, DictEntry& entry);

  // In load order; never changes after the build, since the tree points into it.
  std::vector<DictEntry> static_node_infos_;
  PrefixTree prefix_tree_;
  double frequency_total_ = 0.0;
  double lowest_weight_ = 0.0;
  double user_default_weight_ = 0.0;
  std::unordered_set<Rune> user_single_runes_;
  std::vector<std::string_view> buf_;  // fields of the line being loaded; empty after the build
};

}  // namespace lumo::typing::text::jieba
