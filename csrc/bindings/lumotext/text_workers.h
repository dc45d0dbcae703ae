// Work over the items of a batch on native threads, for the batch calls of
// lumotext: the threads, the waiting caller's signal checks and the first
// error, whatever each item's work is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace lumo::bindings::companion {

// Calls work(worker, index) for every index in [0, count) on `threads`
// workers (numbered from 0; each index goes to one of them, in no fixed
// order) while the calling thread, which must hold the interpreter lock,
// waits without it, taking it back every 20 ms to let Python run its
// signal handlers. A KeyboardInterrupt (or any exception a handler raises)
// stops the workers after their current item and propagates as
// error_already_set; the first exception a work call throws stops them the
// same way and is rethrown. A single worker is the calling thread itself,
// which runs the handlers between items once 20 ms have passed:
// starting a thread and waking the caller when it ends costs about a quarter
// of a millisecond, more than a small batch. Returns with the lock held.
void RunOnWorkers(std::size_t count, std::size_t threads,
                  const std::function<void(std::uint32_t worker, std::size_t index)>& work);

}  // namespace lumo::bindings::companion
