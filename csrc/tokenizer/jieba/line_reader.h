// Reads a data file line by line.
#pragma once

#include <fstream>
#include <istream>
#include <iterator>
#include <string>
#include <string_view>

namespace lumo::typing::text::jieba {

// Line rules shared by every data file: a line ends at a line feed, which is
// not part of it; a carriage return at the end of a line is dropped too. The
// last line needs no line feed, and a file that ends with one has no empty
// last line. Nothing else is removed: a byte-order mark stays part of the
// first line.
class LineReader {
 public:
  explicit LineReader(const std::string& path) : stream_(path, std::ios::in | std::ios::binary) {}
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
