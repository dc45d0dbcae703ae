#include "json/json_escape.h"

#include <array>
#include <cstdint>

namespace lumo::typing::text {
namespace {

// The letter after the backslash for each byte that is escaped, 0 for the rest.
constexpr std::array<char, 256> MakeEscapeLetters() {
  std::array<char, 256> letters{};
  letters['\b'] = 'b';
  letters['\t'] = 't';
  letters['\n'] = 'n';
  letters['\f'] = 'f';
  letters['\r'] = 'r';
  letters['"'] = '"';
  letters['\\'] = '\\';
  return letters;
}
constexpr std::array<char, 256> kEscapeLetters = MakeEscapeLetters();

// The byte that an escape letter stands for; 0 where the pair is not one of
// the seven escapes that EscapeText writes.
char UnescapedByte(char letter) {
  switch (letter) {
    case 'b': return '\b';
    case 't': return '\t';
    case 'n': return '\n';
    case 'f': return '\f';
    case 'r': return '\r';
    case '"': return '"';
    case '\\': return '\\';
    default: return 0;
  }
}

}  // namespace

bool HasEscapableByte(std::string_view text) {
  for (const char c : text) {
    if (kEscapeLetters[static_cast<std::uint8_t>(c)] != 0) return true;
  }
  return false;
}

void AppendEscapedText(std::string& out, std::string_view text) {
  std::size_t run_start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char letter = kEscapeLetters[static_cast<std::uint8_t>(text[i])];
    if (letter == 0) continue;
    out.append(text.data() + run_start, i - run_start);
    out.push_back('\\');
    out.push_back(letter);
    run_start = i + 1;
  }
  out.append(text.data() + run_start, text.size() - run_start);
}

std::string EscapeText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendEscapedText(out, text);
  return out;
}

std::string EscapeTextForJson(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  std::size_t run_start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<std::uint8_t>(text[i]);
    const char letter = kEscapeLetters[byte];
    if (letter == 0 && byte >= 0x20) continue;
    out.append(text.data() + run_start, i - run_start);
    run_start = i + 1;
    if (letter != 0) {
      out.push_back('\\');
      out.push_back(letter);
    } else {
      out.append("\\u00");
      out.push_back(kHex[byte >> 4]);
      out.push_back(kHex[byte & 0xF]);
    }
  }
  out.append(text.data() + run_start, text.size() - run_start);
  return out;
}

std::string UnescapeText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t run_start = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      ++i;
      continue;
    }
    const char original = UnescapedByte(text[i + 1]);
    if (original == 0) {
      i += 2;  // an escape EscapeText never writes: both bytes stay
      continue;
    }
    out.append(text.data() + run_start, i - run_start);
    out.push_back(original);
    i += 2;
    run_start = i;
  }
  out.append(text.data() + run_start, text.size() - run_start);
  return out;
}

}  // namespace lumo::typing::text
