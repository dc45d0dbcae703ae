// The hidden Markov model of the HMM segmenter: four states, start and
// transition log probabilities, and one emission table per state.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/line_reader.h"
#include "tokenizer/jieba/rune.h"

namespace lumo::typing::text::jieba {

// The states, in the order of every table and of the model file.
enum HmmState : std::size_t { kStateB = 0, kStateE = 1, kStateM = 2, kStateS = 3 };
inline constexpr std::size_t STATUS_SUM = 4;

using EmitProbMap = std::unordered_map<Rune, double>;

class HMMModel {
 public:
  // Loads the model file at path. A file that cannot be opened, ends early or
  // holds a malformed line writes its FATAL line (after an ERROR line for a bad
  // emission item) and throws FatalError.
  explicit HMMModel(const std::string& path);
  HMMModel(const HMMModel&) = delete;
  HMMModel& operator=(const HMMModel&) = delete;
  HMMModel(HMMModel&&) = delete;  // emission_tables and the row index point into the members
  HMMModel& operator=(HMMModel&&) = delete;
  ~HMMModel();

  double StartProb(std::size_t state) const { return start_prob[state]; }
  double TransProb(std::size_t from, std::size_t to) const { return trans_prob[from][to]; }

  // The emission value of code_point in the table of state, or default_value
  // when that table does not hold code_point.
  double EmissionOf(std::size_t state, Rune code_point, double default_value) const;

  // The emission values of code_point in the states B, E, M, S, each
  // MIN_LOG_PROB where the state's table does not hold it: the same values as
  // EmissionOf(y, code_point, MIN_LOG_PROB) for y = B, E, M, S, with one
  // lookup instead of four. The pointer lives as long as the model.
  const double* EmissionRow(Rune code_point) const;

  // Reads the next significant line (trimmed, neither empty nor a "#"
  // comment) into line; false at the end of the file.
  static bool GetLine(LineReader& ifile, std::string& line);

  // Fills table from one emission line ("char:number" items separated by
  // ","); false after an ERROR line for a malformed item, and false for an
  // empty line.
  static bool LoadEmitProb(const std::string& line, EmitProbMap& table);

 private:
  void LoadModel(const std::string& path);
  void BuildEmissionRows();

  double start_prob[STATUS_SUM] = {0, 0, 0, 0};
  double trans_prob[STATUS_SUM][STATUS_SUM] = {};
  EmitProbMap emitProbB;
  EmitProbMap emitProbE;
  EmitProbMap emitProbM;
  EmitProbMap emitProbS;
  std::array<const EmitProbMap*, STATUS_SUM> emission_tables;

  // The emission rows: row 0 is all MIN_LOG_PROB (no state emits the rune);
  // plane_row_ maps every code point below 0x10000 to its row, and other_rows_
  // the rest that some table holds.
  std::vector<std::array<double, STATUS_SUM>> rows_;
  std::vector<std::uint32_t> plane_row_;
  std::unordered_map<Rune, std::uint32_t> other_rows_;
};

}  // namespace lumo::typing::text::jieba
