// A direct path in front of pybind11's dispatcher for a method's common call.
// pybind11 resolves every call by building its argument casters in turn,
// which costs more than a short call's own work. A direct path serves the
// common form of a call itself and hands every other call to pybind11's
// dispatcher unchanged, so signatures, docstrings, overload resolution and
// errors stay the library's own.
#pragma once

#include <Python.h>
#include <pybind11/pybind11.h>

namespace lumo::bindings::direct_call {

// pybind11's dispatcher, which every method made by pybind11 shares; set by
// the first Install.
inline PyCFunctionWithKeywords library_dispatcher = nullptr;

// Puts fast in front of pybind11's dispatcher for the method name of cls.
// Where the method is not the builtin function pybind11 makes, the method
// stays as it is: the direct path is a shortcut, never a requirement.
inline void Install(const pybind11::handle& cls, const char* name, PyCFunctionWithKeywords fast) {
  const pybind11::object method = cls.attr(name);
  PyObject* function = PyInstanceMethod_Check(method.ptr()) ? PyInstanceMethod_GET_FUNCTION(method.ptr()) : nullptr;
  if (!function || !PyCFunction_Check(function)) return;
  PyMethodDef* definition = reinterpret_cast<PyCFunctionObject*>(function)->m_ml;
  if (definition->ml_flags != (METH_VARARGS | METH_KEYWORDS)) return;
  const auto dispatcher = reinterpret_cast<PyCFunctionWithKeywords>(reinterpret_cast<void (*)()>(definition->ml_meth));
  if (library_dispatcher != nullptr && dispatcher != library_dispatcher) return;
  library_dispatcher = dispatcher;
  definition->ml_meth = reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(fast));
}

// The C++ object of self when self is an initialised instance of exactly
// type (not a subclass), whose pybind11 class has one C++ base.
template <typename Value>
Value* ExactInstance(PyObject* self, PyTypeObject* type) {
  if (Py_TYPE(self) != type) return nullptr;
  auto* instance = reinterpret_cast<pybind11::detail::instance*>(self);
  if (!instance->simple_layout || !instance->simple_holder_constructed) return nullptr;
  return static_cast<Value*>(instance->simple_value_holder[0]);
}

// The call's count positional arguments after self, or null when the call
// has keywords or another number of arguments.
inline PyObject* const* PositionalArguments(PyObject* args, PyObject* kwargs, Py_ssize_t count) {
  if (kwargs != nullptr || PyTuple_GET_SIZE(args) != count + 1) return nullptr;
  return &PyTuple_GET_ITEM(args, 1);
}

// The new reference serve() returns; a C++ exception it throws becomes the
// Python error pybind11 would raise for it, and the result null.
template <typename Serve>
PyObject* Served(Serve&& serve) {
  try {
    return serve();
  } catch (pybind11::error_already_set& error) {
    error.restore();
  } catch (...) {
    pybind11::detail::try_translate_exceptions();
  }
  return nullptr;
}

}  // namespace lumo::bindings::direct_call
