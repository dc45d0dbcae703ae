#include "bindings/registration.h"

namespace lumo::bindings {

void RegisterBM25(pybind11::module_& /*module*/) {}

}  // namespace lumo::bindings
