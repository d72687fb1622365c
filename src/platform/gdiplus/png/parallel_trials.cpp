#include "platform/gdiplus/png/parallel_trials.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace repng::png {

unsigned WorkerCount() {
  const unsigned cores = std::thread::hardware_concurrency();
  return std::clamp(cores, 1u, kMaxWorkers);
}

void RunTrials(size_t count, const std::function<void(size_t index, unsigned worker)>& trial) {
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

  const unsigned workers = static_cast<unsigned>(std::min<size_t>(WorkerCount(), count));
  std::vector<std::thread> helpers;
  try {
    for (unsigned worker = 1; worker < workers; ++worker) helpers.emplace_back(work, worker);
  } catch (...) {
    // No thread to spare: the calling thread does all the work.
  }
  work(0);
  for (std::thread& helper : helpers) helper.join();
  if (first_failure) std::rethrow_exception(first_failure);
}

}  // namespace repng::png
