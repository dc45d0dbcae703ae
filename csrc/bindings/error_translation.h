// Where native exceptions become Python exceptions in the pylumotext module.
#pragma once

namespace lumo::bindings {

// Installs the module's translation of native exceptions, for its own
// functions only:
//   FatalError (a failed check while loading data) -> RuntimeError with the
//     FATAL message, bytes that are not UTF-8 shown as backslash escapes;
//   and pybind11's standard mapping for the rest: std::invalid_argument ->
//     ValueError, std::out_of_range -> IndexError, std::bad_alloc ->
//     MemoryError, other std::exception (std::runtime_error from the BM25
//     model and its persistence) -> RuntimeError with what().
// The bindings themselves raise Python errors directly only for argument
// conversion (TypeError, UnicodeError) and pass every other failure here.
void RegisterErrorTranslation();

}  // namespace lumo::bindings
