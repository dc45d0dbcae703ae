// Shared by the fuzz targets: the failure stop, and the data fixtures of the
// test support under the names the targets use.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "support/engine_fixtures.h"

namespace lumo::fuzz {

// Stops the run with a message; libFuzzer reports it as a crash with the input.
[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

using ::lumo::testing::kDictionary;
using ::lumo::testing::kHmmModel;
using ::lumo::testing::kIdf;
using ::lumo::testing::kStopWords;
using ::lumo::testing::kUserDictionary;
using ::lumo::testing::MemoryFile;

}  // namespace lumo::fuzz
