// Reading captured diagnostic log text back as messages.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lumo::testing {

// The length of the log header that line starts with ("YYYY-MM-DD HH:MM:SS
// <file>:<line> ", the file without spaces), or 0 when it starts with none.
inline std::size_t LogHeaderLength(std::string_view line) {
  static constexpr std::string_view kTimePattern = "dddd-dd-dd dd:dd:dd ";
  if (line.size() < kTimePattern.size()) return 0;
  for (std::size_t i = 0; i < kTimePattern.size(); ++i) {
    const bool digit = line[i] >= '0' && line[i] <= '9';
    if (kTimePattern[i] == 'd' ? !digit : line[i] != kTimePattern[i]) return 0;
  }
  const std::size_t space = line.find(' ', kTimePattern.size());
  if (space == std::string_view::npos) return 0;
  const std::string_view source = line.substr(kTimePattern.size(), space - kTimePattern.size());
  const std::size_t colon = source.rfind(':');
  if (colon == std::string_view::npos || colon == 0 || colon + 1 == source.size()) return 0;
  for (char c : source.substr(colon + 1)) {
    if (c < '0' || c > '9') return 0;
  }
  return space + 1;
}

// The log lines of text with their headers checked and cut off, so that
// "ERROR Decode x failed." remains. A line whose header does not match is
// kept whole, prefixed with "BAD HEADER: ".
inline std::vector<std::string> LogMessages(const std::string& text) {
  std::vector<std::string> messages;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t stop = text.find('\n', start);
    if (stop == std::string::npos) stop = text.size();
    const std::string line = text.substr(start, stop - start);
    const std::size_t header = LogHeaderLength(line);
    messages.push_back(header == 0 ? "BAD HEADER: " + line : line.substr(header));
    start = stop + 1;
  }
  return messages;
}

}  // namespace lumo::testing
