// Work on one text off the interpreter lock, unless the text is short: both
// extension modules segment single texts by this rule.
#pragma once

#include <pybind11/pybind11.h>

#include <cstddef>

#include "tokenizer/jieba/rune.h"

namespace lumo::bindings {

// Texts stored in fewer than this many bytes (a str's code points at 1, 2 or
// 4 bytes each, or the bytes of UTF-8) are worked on with the interpreter
// lock held. Releasing and retaking the lock costs little alone, but when
// other threads wait for it every release hands it over and the caller then
// waits to get it back, which costs more than segmenting a line of text
// (measured: bench/bench_jieba.py, two threads one line per call). Longer
// texts release it, so that other threads run during a long cut.
//
// Threads cutting lines by turns could still overlap: each releases the lock
// for its segmentation and spins until the other releases it. That took two
// threads one line per call from 0.84-0.93 to 1.02-1.07 times one thread, at
// nearly two cores, but each release hands the lock to any thread that wants
// it, so a thread cutting fast is paced by one that does other work between
// its calls (up to three times fewer calls in all), and callers that
// alternate only now and then wait out every spin (a server-like mix of four
// threads: 3.8 to 92 microseconds a call). No rule for when to take turns
// told these apart reliably, so a short text keeps the lock.
inline constexpr std::size_t kReleaseLockBytes = 1024;

inline std::size_t StoredBytes(const typing::text::jieba::CodePointText& text) { return text.size * text.width; }

// Runs work, which must touch no Python object, without the interpreter lock
// when the text it works on is stored in stored_bytes or more.
template <typename Work>
void RunUnlessShortReleased(std::size_t stored_bytes, Work&& work) {
  if (stored_bytes < kReleaseLockBytes) {
    work();
    return;
  }
  pybind11::gil_scoped_release release;
  work();
}

}  // namespace lumo::bindings
