// A direct path in front of pybind11's dispatcher for a method's common call.
// pybind11 resolves every call by building its argument casters in turn,
// which costs more than a short call's own work. A direct path serves the
// common form of a call itself and hands every other call to pybind11's
// dispatcher unchanged, so signatures, docstrings, overload resolution and
// errors stay the library's own. The direct path is the method itself, a
// method descriptor called by vectorcall: pybind11's own method is a builtin
// function behind an instance-method wrapper, which costs a bound method and
// an argument tuple per call.
#pragma once

#include <Python.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <memory>
#include <string>

namespace lumo::bindings::direct_call {

// A direct path, called as a vectorcall of a method: the instance, the
// arguments after it (positional ones, then the values of the keywords named
// by kwnames, which may be null) and the number of positional ones.
using Function = PyObject* (*)(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

// The function pybind11 made for the method that Fast serves, which gets
// every call Fast does not serve; set by Install<Fast>.
template <Function Fast>
inline PyObject* library_function = nullptr;

// Makes Fast the method name of cls: a method descriptor called by
// vectorcall, so that a call makes neither a bound method nor an argument
// tuple. It keeps the docstring (signatures included) of the method pybind11
// made, which stays the fallback for every call Fast hands on. Where the
// method is not the builtin function pybind11 makes, it stays as it is: the
// direct path is a shortcut, never a requirement.
template <Function Fast>
void Install(const pybind11::handle& cls, const char* name) {
  const pybind11::object method = cls.attr(name);
  PyObject* function = PyInstanceMethod_Check(method.ptr()) ? PyInstanceMethod_GET_FUNCTION(method.ptr()) : nullptr;
  if (!function || !PyCFunction_Check(function) || library_function<Fast> != nullptr) return;
  const char* library_doc = reinterpret_cast<PyCFunctionObject*>(function)->m_ml->ml_doc;
  // Both live as long as the module, since the descriptor points to them;
  // the doc is a copy, as pybind11 rewrites its own when an overload is added.
  static const std::string doc = library_doc != nullptr ? library_doc : "";
  static PyMethodDef definition{name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(Fast)),
                                METH_FASTCALL | METH_KEYWORDS, doc.c_str()};
  const pybind11::object descriptor = pybind11::reinterpret_steal<pybind11::object>(
      PyDescr_NewMethod(reinterpret_cast<PyTypeObject*>(cls.ptr()), &definition));
  if (!descriptor) throw pybind11::error_already_set();
  library_function<Fast> = Py_NewRef(function);
  pybind11::setattr(cls, name, descriptor);
}

// Hands a call that Fast does not serve to the method pybind11 made, with
// self again in front of its arguments.
template <Function Fast>
PyObject* CallLibrary(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  const Py_ssize_t count = nargs + (kwnames != nullptr ? PyTuple_GET_SIZE(kwnames) : 0);
  constexpr Py_ssize_t kInline = 8;
  PyObject* inline_arguments[kInline + 1];
  std::unique_ptr<PyObject*[]> heap_arguments;
  PyObject** arguments = inline_arguments;
  if (count > kInline) {
    heap_arguments.reset(new PyObject*[static_cast<std::size_t>(count) + 1]);
    arguments = heap_arguments.get();
  }
  arguments[0] = self;
  std::copy(args, args + count, arguments + 1);
  return PyObject_Vectorcall(library_function<Fast>, arguments, static_cast<std::size_t>(nargs) + 1, kwnames);
}

// The call's arguments when it has exactly count positional ones and no
// keywords, else null.
inline PyObject* const* PositionalArguments(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                                            Py_ssize_t count) {
  if (nargs != count || (kwnames != nullptr && PyTuple_GET_SIZE(kwnames) != 0)) return nullptr;
  return args;
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
