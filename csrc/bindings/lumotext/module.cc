#include "bindings/lumotext/error_translation.h"
#include "bindings/lumotext/registration.h"

// The native half of the lumotext package; its Python half wraps these
// classes with docstrings, argument checks and pickling.
PYBIND11_MODULE(_native, module) {
  lumo::bindings::companion::RegisterErrorTranslation();
  lumo::bindings::companion::RegisterSegmenter(module);
  lumo::bindings::companion::RegisterBM25Encoder(module);
  lumo::bindings::companion::RegisterTextTraining(module);
  lumo::bindings::companion::RegisterTextEncoding(module);
}
