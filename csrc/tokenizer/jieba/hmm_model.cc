#include "tokenizer/jieba/hmm_model.h"

#include <cstdlib>

#include "tokenizer/jieba/constants.h"
#include "common/log.h"
#include "tokenizer/jieba/text_util.h"

namespace lumo::typing::text::jieba {

namespace {

constexpr Rune kPlaneSize = 0x10000;

// The number at the start of field, as atof reads it: 0 when there is none.
double ParseNumber(const std::string& field) { return std::atof(field.c_str()); }

}  // namespace

HMMModel::HMMModel(const std::string& path)
    : emission_tables{&emitProbB, &emitProbE, &emitProbM, &emitProbS} {
  LoadModel(path);
  BuildEmissionRows();
}

HMMModel::~HMMModel() = default;

void HMMModel::LoadModel(const std::string& path) {
  LineReader ifile(path);
  LUMO_FATAL_CHECK(ifile.is_open(), "ifile.is_open()", "open ", path, " failed");
  std::string line;
  std::vector<std::string> tmp;

  LUMO_FATAL_CHECK(GetLine(ifile, line), "GetLine(ifile, line)");
  SplitOnAny(line, tmp, " ");
  LUMO_FATAL_CHECK(tmp.size() == STATUS_SUM, "tmp.size() == STATUS_SUM");
  for (std::size_t j = 0; j < STATUS_SUM; ++j) start_prob[j] = ParseNumber(tmp[j]);

  for (std::size_t i = 0; i < STATUS_SUM; ++i) {
    LUMO_FATAL_CHECK(GetLine(ifile, line), "GetLine(ifile, line)");
    SplitOnAny(line, tmp, " ");
    LUMO_FATAL_CHECK(tmp.size() == STATUS_SUM, "tmp.size() == STATUS_SUM");
    for (std::size_t j = 0; j < STATUS_SUM; ++j) trans_prob[i][j] = ParseNumber(tmp[j]);
  }

  LUMO_FATAL_CHECK(GetLine(ifile, line), "GetLine(ifile, line)");
  LUMO_FATAL_CHECK(LoadEmitProb(line, emitProbB), "LoadEmitProb(line, emitProbB)");
  LUMO_FATAL_CHECK(GetLine(ifile, line), "GetLine(ifile, line)");
  LUMO_FATAL_CHECK(LoadEmitProb(line, emitProbE), "LoadEmitProb(line, emitProbE)");
  LUMO_FATAL_CHECK(GetLine(ifile, line), "GetLine(ifile, line)");
  LUMO_FATAL_CHECK(LoadEmitProb(line, emitProbM), "LoadEmitProb(line, emitProbM)");
  LUMO_FATAL_CHECK(GetLine(ifile, line), "GetLine(ifile, line)");
  LUMO_FATAL_CHECK(LoadEmitProb(line, emitProbS), "LoadEmitProb(line, emitProbS)");
}

bool HMMModel::GetLine(LineReader& ifile, std::string& line) {
  while (ifile.Next(line)) {
    TrimSpace(line);
    if (line.empty() || line[0] == '#') continue;
    return true;
  }
  return false;
}

bool HMMModel::LoadEmitProb(const std::string& line, EmitProbMap& table) {
  if (line.empty()) return false;
  std::vector<std::string> items;
  std::vector<std::string> parts;
  CodePointList code_points;
  SplitOnAny(line, items, ",");
  for (const std::string& item : items) {
    SplitOnAny(item, parts, ":");
    if (parts.size() != 2) {
      LUMO_LOG_ERROR << "emitProb illegal.";
      return false;
    }
    if (!DecodeCodePoints(parts[0], code_points) || code_points.size() != 1) {
      LUMO_LOG_ERROR << "TransCode failed.";
      return false;
    }
    table[code_points[0]] = ParseNumber(parts[1]);
  }
  return true;
}

double HMMModel::EmissionOf(std::size_t state, Rune code_point, double default_value) const {
  const EmitProbMap& table = *emission_tables[state];
  const auto found = table.find(code_point);
  return found == table.end() ? default_value : found->second;
}

const double* HMMModel::EmissionRow(Rune code_point) const {
  if (code_point < kPlaneSize) return rows_[plane_row_[code_point]].data();
  const auto found = other_rows_.find(code_point);
  return rows_[found == other_rows_.end() ? 0 : found->second].data();
}

void HMMModel::BuildEmissionRows() {
  rows_.assign(1, {MIN_LOG_PROB, MIN_LOG_PROB, MIN_LOG_PROB, MIN_LOG_PROB});
  plane_row_.assign(kPlaneSize, 0);
  // One row per code point that any state emits, filled from EmissionOf so
  // that a row always agrees with the tables.
  for (const EmitProbMap* table : emission_tables) {
    for (const auto& [code_point, value] : *table) {
      (void)value;
      std::uint32_t* row_index = nullptr;
      if (code_point < kPlaneSize) {
        row_index = &plane_row_[code_point];
      } else {
        row_index = &other_rows_[code_point];
      }
      if (*row_index != 0) continue;
      *row_index = static_cast<std::uint32_t>(rows_.size());
      std::array<double, STATUS_SUM> row;
      for (std::size_t y = 0; y < STATUS_SUM; ++y) row[y] = EmissionOf(y, code_point, MIN_LOG_PROB);
      rows_.push_back(row);
    }
  }
}

}  // namespace lumo::typing::text::jieba
