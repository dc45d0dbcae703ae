#include "bindings/lumotext/error_translation.h"

#include <pybind11/pybind11.h>

#include <exception>

#include "common/log.h"

namespace py = pybind11;

namespace lumo::bindings::companion {

void RegisterErrorTranslation() {
  py::register_local_exception_translator([](std::exception_ptr failure) {
    try {
      if (failure) std::rethrow_exception(failure);
    } catch (const typing::text::jieba::FatalError& error) {
      PyErr_SetString(PyExc_ValueError, error.what());
    }
  });
}

}  // namespace lumo::bindings::companion
