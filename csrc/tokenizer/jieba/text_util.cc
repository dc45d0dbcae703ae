#include "tokenizer/jieba/text_util.h"

namespace lumo::typing::text::jieba {

namespace {

bool IsSpaceByte(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

template <typename Piece>
void SplitInto(std::string_view text, std::vector<Piece>& pieces, std::string_view separators) {
  pieces.clear();
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t found = text.find_first_of(separators, start);
    if (found == std::string_view::npos) {
      pieces.emplace_back(text.substr(start));
      return;
    }
    pieces.emplace_back(text.substr(start, found - start));
    start = found + 1;
  }
}

}  // namespace

void SplitOnAny(std::string_view text, std::vector<std::string>& pieces, std::string_view separators) {
  SplitInto(text, pieces, separators);
}

void SplitOnAny(std::string_view text, std::vector<std::string_view>& pieces, std::string_view separators) {
  SplitInto(text, pieces, separators);
}

std::string& TrimSpace(std::string& text) {
  std::size_t end = text.size();
  while (end > 0 && IsSpaceByte(text[end - 1])) --end;
  std::size_t begin = 0;
  while (begin < end && IsSpaceByte(text[begin])) ++begin;
  text.erase(end);
  text.erase(0, begin);
  return text;
}

}  // namespace lumo::typing::text::jieba
