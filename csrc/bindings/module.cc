#include "bindings/error_translation.h"
#include "bindings/registration.h"

// No docstring, no functions or constants of its own: only the two classes.
PYBIND11_MODULE(pylumotext, module) {
  lumo::bindings::RegisterErrorTranslation();
  lumo::bindings::RegisterBM25(module);
  lumo::bindings::RegisterJieba(module);
}
