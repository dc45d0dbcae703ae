// Reads a data file line by line.
#pragma once

#include <sys/stat.h>

#include <fstream>
#include <istream>
#include <iterator>
#include <string>
#include <string_view>

namespace lumo::typing::text::jieba {

// Opens path for reading as a data file. A path holding a NUL byte (which the
// platform would silently cut short) or naming a directory (which opens but
// cannot be read) leaves the stream closed, so the loader's open check reports
// it like any file that cannot be opened.
inline void OpenDataFile(std::ifstream& stream, const std::string& path) {
  if (path.find('\0') != std::string::npos) return;
  struct stat status {};
  if (::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) return;
  stream.open(path, std::ios::in | std::ios::binary);
}

// Line rules shared by every data file: a line ends at a line feed, which is
// not part of it; a carriage return at the end of a line is dropped too. The
// last line needs no line feed, and a file that ends with one has no empty
// last line. Nothing else is removed: a byte-order mark stays part of the
// first line.
class LineReader {
 public:
  explicit LineReader(const std::string& path) { OpenDataFile(stream_, path); }
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;
  LineReader(LineReader&&) = default;
  LineReader& operator=(LineReader&&) = default;

  bool is_open() const { return stream_.is_open(); }

  // Reads the next line into line; false at the end of the file.
  bool Next(std::string& line) {
    if (!std::getline(stream_, line)) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
  }

 private:
  std::ifstream stream_;
};

// The rest of stream, read at once; for loaders that split a whole file.
inline std::string ReadRemaining(std::istream& stream) {
  return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

// Calls on_line(std::string_view) for every line of text by the rules of
// LineReader, in order. The views point into text.
template <typename OnLine>
void ForEachLine(std::string_view text, OnLine&& on_line) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t stop = text.find('\n', start);
    const std::size_t next = stop == std::string_view::npos ? text.size() : stop + 1;
    if (stop == std::string_view::npos) stop = text.size();
    std::string_view line = text.substr(start, stop - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    on_line(line);
    start = next;
  }
}

}  // namespace lumo::typing::text::jieba
