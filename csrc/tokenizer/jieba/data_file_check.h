// Checks of the five data files of an engine before it is built, so that a
// host can tell its user which file is missing or malformed, and where, instead
// of a fatal check's message about a loader's expression.
#pragma once

#include <cstddef>
#include <string>

namespace lumo::typing::text::jieba {

// The first problem found, or kind kNone.
struct DataFileProblem {
  enum class Kind { kNone, kCannotOpen, kMalformed };
  Kind kind = Kind::kNone;
  std::string path;             // the file concerned
  int error_number = 0;         // kCannotOpen: the errno of opening it (EISDIR for a directory)
  std::size_t line_number = 0;  // kMalformed: 1-based line of the fault, 0 for the file as a whole
  std::string reason;           // kMalformed: what is wrong, in a sentence without final stop
};

// First tries to open every file, in the engine's load order (main
// dictionary, user dictionaries of the list split at '|' and ';', HMM model,
// IDF table, stop words); then checks the main dictionary and the HMM model
// against every rule whose breach would stop the engine's construction. The
// IDF table, the stop words and the user dictionaries have no such rule
// (their bad lines are skipped with a log line). Writes no log line.
DataFileProblem CheckDataFiles(const std::string& dict_path, const std::string& hmm_path,
                               const std::string& user_dict_paths, const std::string& idf_path,
                               const std::string& stop_word_path);

}  // namespace lumo::typing::text::jieba
