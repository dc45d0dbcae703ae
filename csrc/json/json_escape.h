// The backslash escapes of JSON text as this library writes them.
#pragma once

#include <string>
#include <string_view>

namespace lumo::typing::text {

// Escapes backspace, tab, line feed, form feed, carriage return, the double
// quote and the backslash as the two-byte forms \b \t \n \f \r \" \\; every
// other byte (other control bytes, "/", bytes 0x80 and above) is copied.
std::string EscapeText(std::string_view text);
// Whether EscapeText would change text (it holds one of the seven bytes).
bool HasEscapableByte(std::string_view text);
// Appends EscapeText(text) to `out`.
void AppendEscapedText(std::string& out, std::string_view text);

// EscapeText, and also every other control byte (0x00 to 0x1F) as \u00xx
// with lowercase hex digits: text that standard JSON readers accept between
// quotes, and that this library's parser decodes back to the same bytes.
std::string EscapeTextForJson(std::string_view text);

// The exact inverse of EscapeText: turns back the seven two-byte escapes it
// writes. A backslash before any other byte, or a lone final backslash, is
// kept as it stands, so UnescapeText(EscapeText(s)) == s for every s.
std::string UnescapeText(std::string_view text);

}  // namespace lumo::typing::text
