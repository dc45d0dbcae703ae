// The JSON parser's diagnostic lines on standard error.
#pragma once

#include <string_view>

namespace lumo::typing::text {

// Writes message, found, "'" and a line feed to standard error as one write,
// so that lines from several threads never interleave. `found` is written as
// raw bytes (a NUL byte stays a NUL byte). Write errors are ignored.
void WriteJsonDiagnostic(std::string_view message, std::string_view found);

}  // namespace lumo::typing::text
