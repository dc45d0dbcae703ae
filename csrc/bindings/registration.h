// Class registrations of the pylumotext module, called in this order by the
// module's init function.
#pragma once

#include <pybind11/pybind11.h>

namespace lumo::bindings {

// Registers the class BM25 with its constructor, parameters, training,
// persistence and encoders.
void RegisterBM25(pybind11::module_& module);

// Registers the class Jieba with its constructor, cut and cut_for_search.
void RegisterJieba(pybind11::module_& module);

}  // namespace lumo::bindings
