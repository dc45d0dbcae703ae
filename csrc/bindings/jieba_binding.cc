#include "bindings/registration.h"

namespace lumo::bindings {

void RegisterJieba(pybind11::module_& /*module*/) {}

}  // namespace lumo::bindings
