// Where native exceptions become Python exceptions in lumotext._native.
#pragma once

namespace lumo::bindings::companion {

// Installs the module's translation of native exceptions, for its own
// functions only:
//   FatalError (a failed check while loading data) -> ValueError with the
//     FATAL message (the Python half raises its own error types from it);
//   and pybind11's standard mapping for the rest: std::invalid_argument ->
//     ValueError, std::out_of_range -> IndexError, std::bad_alloc ->
//     MemoryError, other std::exception -> RuntimeError with what().
// The bindings raise Python errors directly only for argument checks and
// conversions, and pass every other failure here.
void RegisterErrorTranslation();

}  // namespace lumo::bindings::companion
