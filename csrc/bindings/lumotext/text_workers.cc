#include "bindings/lumotext/text_workers.h"

#include <pybind11/pybind11.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace py = pybind11;

namespace lumo::bindings::companion {

namespace {

// How often a waiting caller runs Python's signal handlers.
constexpr std::chrono::milliseconds kSignalPoll{20};

// Takes the interpreter lock to run Python's signal handlers; whether one
// raised (its error is then set).
bool SignalHandlerRaised() {
  py::gil_scoped_acquire acquire;
  return PyErr_CheckSignals() != 0;
}

class WorkerRun {
 public:
  WorkerRun(std::size_t count, const std::function<void(std::uint32_t, std::size_t)>& work)
      : count_(count), work_(work) {}

  void Run(std::size_t threads) {
    bool interrupted = false;
    {
      py::gil_scoped_release release;
      if (threads == 1) {
        Work(0, &interrupted);
      } else {
        RunThreads(threads, interrupted);
      }
    }
    if (interrupted) throw py::error_already_set();
    if (failure_) std::rethrow_exception(failure_);
  }

 private:
  // Starts the workers and waits for them, polling the signal handlers.
  void RunThreads(std::size_t threads, bool& interrupted) {
    std::vector<std::thread> workers;
    workers.reserve(threads);
    try {
      for (std::uint32_t i = 0; i < threads; ++i) workers.emplace_back([this, i] { Work(i); });
    } catch (...) {
      // No thread to start: the workers already running finish the batch.
      if (workers.empty()) throw;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    while (finished_workers_ < workers.size()) {
      if (done_.wait_for(lock, kSignalPoll, [&] { return finished_workers_ == workers.size(); })) break;
      lock.unlock();
      interrupted = SignalHandlerRaised();
      lock.lock();
      if (interrupted) {
        cancelled_.store(true);
        done_.wait(lock, [&] { return finished_workers_ == workers.size(); });
      }
    }
    lock.unlock();
    for (std::thread& worker : workers) worker.join();
  }

  // Works on items until none is left. On the calling thread (interrupted
  // given) also runs Python's signal handlers every kSignalPoll, between
  // items, and stops with interrupted set when one raised.
  void Work(std::uint32_t worker, bool* interrupted = nullptr) {
    auto next_poll = std::chrono::steady_clock::now() + kSignalPoll;
    try {
      for (std::size_t i = next_.fetch_add(1); i < count_ && !cancelled_.load(); i = next_.fetch_add(1)) {
        if (interrupted != nullptr && std::chrono::steady_clock::now() >= next_poll) {
          if ((*interrupted = SignalHandlerRaised())) break;
          next_poll = std::chrono::steady_clock::now() + kSignalPoll;
        }
        work_(worker, i);
      }
    } catch (...) {
      std::lock_guard<std::mutex> guard(mutex_);
      if (!failure_) failure_ = std::current_exception();
      cancelled_.store(true);
    }
    std::lock_guard<std::mutex> guard(mutex_);
    ++finished_workers_;
    done_.notify_all();
  }

  const std::size_t count_;
  const std::function<void(std::uint32_t, std::size_t)>& work_;
  std::atomic<std::size_t> next_{0};
  std::atomic<bool> cancelled_{false};
  std::mutex mutex_;
  std::condition_variable done_;
  std::size_t finished_workers_ = 0;  // guarded by mutex_
  std::exception_ptr failure_;        // guarded by mutex_
};

}  // namespace

void RunOnWorkers(std::size_t count, std::size_t threads,
                  const std::function<void(std::uint32_t worker, std::size_t index)>& work) {
  WorkerRun(count, work).Run(threads);
}

}  // namespace lumo::bindings::companion
