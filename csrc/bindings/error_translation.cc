#include "bindings/error_translation.h"

#include <pybind11/pybind11.h>

#include <exception>
#include <string_view>

#include "common/log.h"

namespace py = pybind11;

namespace lumo::bindings {

void RegisterErrorTranslation() {
  py::register_local_exception_translator([](std::exception_ptr failure) {
    try {
      if (failure) std::rethrow_exception(failure);
    } catch (const typing::text::jieba::FatalError& error) {
      // The message may quote bytes of a data file that are not UTF-8.
      const std::string_view message = error.what();
      PyObject* text = PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "backslashreplace");
      if (text == nullptr) return;  // the decoding error itself is raised
      PyErr_SetObject(PyExc_RuntimeError, text);
      Py_DECREF(text);
    }
  });
}

}  // namespace lumo::bindings
