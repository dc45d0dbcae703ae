// Pausing Python's cyclic garbage collector for the length of a native call.
#pragma once

#include <Python.h>

namespace lumo::bindings {

// Keeps the garbage collector, and with it every finalizer of cyclic
// garbage, from running while it lives; restores the collector as found. The
// interpreter lock is held throughout, so no other thread sees it paused.
class CollectorPause {
 public:
  CollectorPause() : was_enabled_(PyGC_Disable()) {}
  ~CollectorPause() {
    if (was_enabled_) PyGC_Enable();
  }
  CollectorPause(const CollectorPause&) = delete;
  CollectorPause& operator=(const CollectorPause&) = delete;

 private:
  int was_enabled_;
};

}  // namespace lumo::bindings
