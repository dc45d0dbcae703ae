#include "bindings/lumotext/registration.h"

namespace lumo::bindings::companion {

void RegisterBM25Encoder(pybind11::module_& /*module*/) {}

}  // namespace lumo::bindings::companion
