#include "png/parallel_trials.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace repng::png {
namespace {

// The second worker, kept for the life of the process: starting a thread
// costs more than all the trials of a small picture. One job at a time; a
// caller that finds it busy (a nested call, or another thread's) does its
// trials alone.
class Helper {
 public:
  Helper() = default;
  Helper(const Helper&) = delete;
  Helper& operator=(const Helper&) = delete;
  ~Helper() {
    {
      const std::lock_guard<std::mutex> hold(lock_);
      stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
  }

  // Hands `job` (which must not throw) to the helper; returns the ticket to
  // wait for, or 0 when the helper is busy or cannot be started.
  uint64_t Start(const std::function<void()>* job) {
    uint64_t ticket = 0;
    {
      const std::lock_guard<std::mutex> hold(lock_);
      if (stopping_ || started_ != finished_) return 0;
      if (!thread_.joinable()) {
        try {
          thread_ = std::thread([this] { Loop(); });
        } catch (...) {
          return 0;  // no thread to spare: perhaps next time
        }
      }
      job_ = job;
      ticket = ++started_;
    }
    wake_.notify_all();
    return ticket;
  }

  void Wait(uint64_t ticket) {
    std::unique_lock<std::mutex> hold(lock_);
    done_.wait(hold, [&] { return finished_ >= ticket; });
  }

 private:
  void Loop() {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
      wake_.wait(hold, [&] { return stopping_ || started_ != finished_; });
      if (started_ == finished_) return;
      const std::function<void()>* job = job_;
      hold.unlock();
      (*job)();
      hold.lock();
      job_ = nullptr;
      ++finished_;
      done_.notify_all();
    }
  }

  std::mutex lock_;
  std::condition_variable wake_;
  std::condition_variable done_;
  const std::function<void()>* job_ = nullptr;
  uint64_t started_ = 0;
  uint64_t finished_ = 0;
  bool stopping_ = false;
  std::thread thread_;  // last: started after, and joined before, the rest is gone
};

Helper& TheHelper() {
  static Helper helper;
  return helper;
}

}  // namespace

unsigned WorkerCount() {
  const unsigned cores = std::thread::hardware_concurrency();
  return std::clamp(cores, 1u, kMaxWorkers);
}

void RunTrials(size_t count, const std::function<void(size_t index, unsigned worker)>& trial) {
  static_assert(kMaxWorkers == 2, "one helper thread besides the caller");
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  std::exception_ptr first_failure;
  std::mutex failure_lock;

  auto work = [&](unsigned worker) {
    for (;;) {
      if (failed.load()) return;
      const size_t index = next.fetch_add(1);
      if (index >= count) return;
      try {
        trial(index, worker);
      } catch (...) {
        const std::lock_guard<std::mutex> hold(failure_lock);
        if (!first_failure) first_failure = std::current_exception();
        failed.store(true);
        return;
      }
    }
  };

  uint64_t ticket = 0;
  const std::function<void()> helper_work = [&work] { work(1); };
  if (count > 1 && WorkerCount() > 1) ticket = TheHelper().Start(&helper_work);
  work(0);
  if (ticket != 0) TheHelper().Wait(ticket);
  if (first_failure) std::rethrow_exception(first_failure);
}

}  // namespace repng::png
