// Splitting and trimming of data-file lines.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lumo::typing::text::jieba {

// Replaces pieces by the parts of text between separator bytes (each byte of
// separators is one separator). Adjacent separators give an empty piece, a
// leading separator an empty first piece; a trailing separator gives no empty
// last piece, and an empty text no piece at all.
void SplitOnAny(std::string_view text, std::vector<std::string>& pieces, std::string_view separators);

// SplitOnAny into views of text (valid while text is); for loaders that split
// many lines and need no copies.
void SplitOnAny(std::string_view text, std::vector<std::string_view>& pieces, std::string_view separators);

// Removes space, tab, line feed, vertical tab, form feed and carriage return
// from the end and then from the start of text, in place; returns text.
std::string& TrimSpace(std::string& text);

}  // namespace lumo::typing::text::jieba
