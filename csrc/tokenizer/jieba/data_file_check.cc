#include "tokenizer/jieba/data_file_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <string_view>
#include <vector>

#include "tokenizer/jieba/hmm_model.h"
#include "common/line_reader.h"
#include "tokenizer/jieba/rune.h"
#include "tokenizer/jieba/text_util.h"

namespace lumo::typing::text::jieba {

namespace {

using Kind = DataFileProblem::Kind;

// The errno of opening path for reading, 0 when it opens; a directory (which
// opens but cannot be read) gives EISDIR, and a path holding a NUL byte ENOENT.
int OpenError(const std::string& path) {
  if (path.find('\0') != std::string::npos) return ENOENT;
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return errno;
  struct stat status {};
  const bool directory = ::fstat(descriptor, &status) == 0 && S_ISDIR(status.st_mode);
  ::close(descriptor);
  return directory ? EISDIR : 0;
}

DataFileProblem Malformed(const std::string& path, std::size_t line_number, std::string reason) {
  return DataFileProblem{Kind::kMalformed, path, 0, line_number, std::move(reason)};
}

// The main dictionary: every line "word frequency tag" split at single
// spaces, and at least one word that decodes.
DataFileProblem CheckMainDictionary(const std::string& path) {
  std::ifstream stream;
  OpenDataFile(stream, path);
  const std::string text = ReadRemaining(stream);
  std::vector<std::string_view> fields;
  CodePointList word;
  std::size_t line_number = 0;
  std::size_t bad_line = 0;
  std::size_t field_count = 0;
  bool any_word = false;
  ForEachLine(text, [&](std::string_view line) {
    ++line_number;
    if (bad_line != 0) return;
    SplitOnAny(line, fields, " ");
    if (fields.size() != 3) {
      bad_line = line_number;
      field_count = fields.size();
    } else if (!any_word) {
      any_word = DecodeCodePoints(fields[0], word);
    }
  });
  if (bad_line != 0) {
    return Malformed(path, bad_line,
                     "expected 3 fields \"word frequency tag\" separated by single spaces, found " +
                         std::to_string(field_count));
  }
  if (!any_word) return Malformed(path, 0, "the main dictionary holds no word");
  return {};
}

// The next line that the model loader reads: trimmed, neither empty nor a
// "#" comment; counts every line read.
bool NextModelLine(LineReader& reader, std::string& line, std::size_t& line_number) {
  while (reader.Next(line)) {
    ++line_number;
    TrimSpace(line);
    if (!line.empty() && line[0] != '#') return true;
  }
  return false;
}

// The HMM model: the start row and four transition rows of four numbers, then
// four emission rows of "character:number" items separated by commas.
DataFileProblem CheckModel(const std::string& path) {
  static constexpr const char* kRows[] = {"start probabilities", "transitions from B", "transitions from E",
                                          "transitions from M", "transitions from S", "emissions of B",
                                          "emissions of E", "emissions of M", "emissions of S"};
  LineReader reader(path);
  std::string line;
  std::size_t line_number = 0;
  std::vector<std::string> fields;
  for (std::size_t row = 0; row < 9; ++row) {
    if (!NextModelLine(reader, line, line_number)) {
      return Malformed(path, 0, std::string("the file ends before the row of ") + kRows[row]);
    }
    if (row < 5) {
      SplitOnAny(line, fields, " ");
      if (fields.size() != STATUS_SUM) {
        return Malformed(path, line_number, std::string("expected 4 numbers separated by single spaces (") +
                                                kRows[row] + "), found " + std::to_string(fields.size()) +
                                                " fields");
      }
      continue;
    }
    SplitOnAny(line, fields, ",");
    std::vector<std::string> parts;
    CodePointList character;
    for (const std::string& item : fields) {
      SplitOnAny(item, parts, ":");
      if (parts.size() != 2 || !DecodeCodePoints(parts[0], character) || character.size() != 1) {
        return Malformed(path, line_number, std::string("malformed item \"") + item + "\" in the row of " +
                                                kRows[row] + " (expected one character, \":\" and a number)");
      }
    }
  }
  return {};
}

}  // namespace

DataFileProblem CheckDataFiles(const std::string& dict_path, const std::string& hmm_path,
                               const std::string& user_dict_paths, const std::string& idf_path,
                               const std::string& stop_word_path) {
  std::vector<std::string> paths{dict_path};
  if (!user_dict_paths.empty()) {
    std::vector<std::string> user_paths;
    SplitOnAny(user_dict_paths, user_paths, "|;");
    paths.insert(paths.end(), user_paths.begin(), user_paths.end());
  }
  paths.insert(paths.end(), {hmm_path, idf_path, stop_word_path});
  for (const std::string& path : paths) {
    if (const int error = OpenError(path); error != 0) return DataFileProblem{Kind::kCannotOpen, path, error, 0, ""};
  }
  if (DataFileProblem problem = CheckMainDictionary(dict_path); problem.kind != Kind::kNone) return problem;
  return CheckModel(hmm_path);
}

}  // namespace lumo::typing::text::jieba
