#include "bindings/lumotext/registration.h"

namespace lumo::bindings::companion {

void RegisterSegmenter(pybind11::module_& /*module*/) {}

}  // namespace lumo::bindings::companion
