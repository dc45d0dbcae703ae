// Reads a data file line by line.
#pragma once

#include <fstream>
#include <string>

namespace lumo::typing::text::jieba {

// A line ends at a line feed, which is not part of it; a carriage return right
// before the line feed is dropped too. The last line needs no line feed, and a
// file that ends with one has no empty last line. Nothing else is removed: a
// byte-order mark stays part of the first line.
class LineReader {
 public:
  explicit LineReader(const std::string& path) : stream_(path, std::ios::in | std::ios::binary) {}
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

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

}  // namespace lumo::typing::text::jieba
