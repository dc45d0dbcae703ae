// Work on one text off the interpreter lock, unless the text is short and
// calls come from one thread: both extension modules segment single texts by
// this rule.
#pragma once

#include <pybind11/pybind11.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "tokenizer/jieba/rune.h"

namespace lumo::bindings {

// Texts stored in fewer than this many bytes (a str's code points at 1, 2 or
// 4 bytes each, or the bytes of UTF-8) are short. A thread alone keeps the
// lock for them: releasing it when another thread sleeps waiting for it wakes
// that thread, and the caller then waits to get it back, which costs more
// than segmenting a line of text (measured: bench/bench_jieba.py, two threads
// one line per call). Longer texts release it, so that other threads run
// during a long cut.
inline constexpr std::size_t kReleaseLockBytes = 1024;

inline std::size_t StoredBytes(const typing::text::jieba::CodePointText& text) { return text.size * text.width; }

// Threads that segment short texts by turns hand the lock to each other: each
// releases it for the segmentation, then waits, spinning, until another
// caller releases it, and takes it back. Neither sleeps, so the hand-over
// costs a few cache lines instead of a wake-up, and one thread segments while
// the other makes its Python objects. Without that, two threads calling one
// line at a time ran at 0.84-0.93 times one thread; with it, at 1.02-1.07,
// one thread unchanged (bench/bench_jieba.py).
class LockHandOff {
 public:
  // How long a thread waits for another caller's release before it takes the
  // lock back the ordinary way. Another thread that slept waiting for the
  // lock takes 10 to 50 microseconds to wake on a virtual machine; with less
  // than that the turns never start (measured).
  static constexpr std::chrono::microseconds kWait{100};

  // Whether a short text is worked on off the lock: from a call by another
  // thread than the last caller on, until a wait runs out.
  bool Contended() noexcept {
    const std::uintptr_t caller = ThreadToken();
    if (last_caller_.load(std::memory_order_relaxed) != caller) {
      last_caller_.store(caller, std::memory_order_relaxed);
      contended_.store(true, std::memory_order_relaxed);
      return true;
    }
    return contended_.load(std::memory_order_relaxed);
  }

  // Runs work, which must touch no Python object, without the lock, and then
  // takes it back once another caller has released it since (or kWait has
  // passed, or two other threads already wait so). An exception from work
  // takes the lock back at once.
  template <typename Work>
  void RunTakingTurns(Work&& work) {
    const Retake retake{PyEval_SaveThread()};
    const std::uint64_t mine = Released();
    work();
    WaitForAnotherRelease(mine);
  }

  // Counts a release of the lock by any text's work; the number of this one.
  std::uint64_t Released() noexcept { return releases_.fetch_add(1, std::memory_order_acq_rel) + 1; }

 private:
  struct Retake {
    PyThreadState* state;
    ~Retake() { PyEval_RestoreThread(state); }
  };

  // The address of a thread's own variable: tells the threads alive apart.
  static std::uintptr_t ThreadToken() noexcept {
    thread_local const char token = 0;
    return reinterpret_cast<std::uintptr_t>(&token);
  }

  static void CpuRelax() noexcept {
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
  }

  // Two threads may spin at once: a thread that finishes its work while the
  // other still spins waits for the next release too. Going straight for the
  // lock it would often get there first, and the other, whose turn it was,
  // would sleep (one call in seven, with one spinner allowed). A third
  // spinner would only burn a core.
  static constexpr int kMaxSpinning = 2;
  void WaitForAnotherRelease(std::uint64_t mine) noexcept {
    if (spinning_.fetch_add(1, std::memory_order_acquire) >= kMaxSpinning) {
      spinning_.fetch_sub(1, std::memory_order_release);
      return;
    }
    const auto deadline = std::chrono::steady_clock::now() + kWait;
    for (unsigned spins = 1; releases_.load(std::memory_order_acquire) == mine; ++spins) {
      CpuRelax();
      if (spins % 64 == 0 && std::chrono::steady_clock::now() > deadline) {
        contended_.store(false, std::memory_order_relaxed);  // the other caller stopped calling
        break;
      }
    }
    spinning_.fetch_sub(1, std::memory_order_release);
  }

  // One cache line: a hand-over moves it once between the two cores.
  alignas(64) std::atomic<std::uintptr_t> last_caller_{0};
  std::atomic<std::uint64_t> releases_{0};
  std::atomic<bool> contended_{false};
  std::atomic<int> spinning_{0};
};

inline LockHandOff lock_hand_off;

// Runs work, which must touch no Python object, without the interpreter lock
// when the text it works on is stored in stored_bytes or more, or when
// threads take turns calling.
template <typename Work>
void RunUnlessShortReleased(std::size_t stored_bytes, Work&& work) {
  if (stored_bytes >= kReleaseLockBytes) {
    const pybind11::gil_scoped_release release;
    lock_hand_off.Released();  // a thread waiting for its turn can take the lock now
    work();
    return;
  }
  if (lock_hand_off.Contended()) {
    lock_hand_off.RunTakingTurns(work);
    return;
  }
  work();
}

}  // namespace lumo::bindings
