// Helper threads that work through jobs of independent blocks alongside the
// thread that hands the jobs out, one job at a time, so that the caller can
// prepare the next job while the helpers work on the current one.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace lumo {

class BlockPool {
 public:
  // Starts up to `helpers` threads; one that cannot be started leaves its
  // share to the others and to the caller (Finish works alone if need be).
  explicit BlockPool(std::size_t helpers) {
    threads_.reserve(helpers);
    for (std::size_t i = 0; i < helpers; ++i) {
      try {
        threads_.emplace_back([this] { Help(); });
      } catch (const std::system_error&) {
        break;
      }
    }
  }
  // Finishes the current job, then stops the helpers.
  ~BlockPool() {
    Finish();
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) thread.join();
  }
  BlockPool(const BlockPool&) = delete;
  BlockPool& operator=(const BlockPool&) = delete;

  // Hands out a job: work(block) for every block in [0, blocks), each once,
  // on the helpers and, in Finish, the caller. Returns at once. The job
  // before must be finished. work must not throw.
  void Start(std::size_t blocks, std::function<void(std::size_t)> work) {
    auto job = std::make_shared<Job>();
    job->blocks = blocks;
    job->work = std::move(work);
    {
      std::lock_guard lock(mutex_);
      job_ = job;
    }
    wake_.notify_all();
  }

  // Works on the current job's blocks left, then waits until every block of
  // it is done. Does nothing without a job.
  void Finish() {
    std::shared_ptr<Job> job;
    {
      std::lock_guard lock(mutex_);
      job = job_;
    }
    if (!job) return;
    Work(*job);
    std::unique_lock lock(mutex_);
    done_.wait(lock, [&] { return job->finished == job->blocks; });
    job_.reset();
  }

 private:
  struct Job {
    std::size_t blocks = 0;
    std::function<void(std::size_t)> work;
    std::atomic<std::size_t> next{0};
    std::size_t finished = 0;  // blocks done; guarded by the pool's mutex
  };

  void Work(Job& job) {
    std::size_t done = 0;
    for (std::size_t block = job.next.fetch_add(1); block < job.blocks; block = job.next.fetch_add(1)) {
      job.work(block);
      ++done;
    }
    if (done == 0) return;
    std::lock_guard lock(mutex_);
    job.finished += done;
    if (job.finished == job.blocks) done_.notify_all();
  }

  // A helper works on each job it sees until the pool stops; it keeps the
  // job alive, so a late helper finds the job's blocks all taken.
  void Help() {
    std::shared_ptr<Job> seen;
    std::unique_lock lock(mutex_);
    while (true) {
      wake_.wait(lock, [&] { return stopping_ || (job_ && job_ != seen); });
      if (stopping_) return;
      seen = job_;
      lock.unlock();
      Work(*seen);
      lock.lock();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;  // a new job, or stopping
  std::condition_variable done_;  // a job's last block done
  std::shared_ptr<Job> job_;      // the current job; guarded by mutex_
  bool stopping_ = false;         // guarded by mutex_
  std::vector<std::thread> threads_;
};

}  // namespace lumo
