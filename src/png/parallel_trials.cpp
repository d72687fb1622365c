#include "png/parallel_trials.h"

#include <algorithm>
#include <atomic>
#include <exception>

#include "png/search_settings.h"

namespace repng::png {

unsigned CoreCount() { return std::max(std::thread::hardware_concurrency(), 1u); }

unsigned TrialsAtOnce(size_t bytes) {
  const size_t fit = settings::kParallelTrialMemory / std::max<size_t>(bytes, 1);
  return static_cast<unsigned>(std::clamp<size_t>(fit, 2, std::numeric_limits<unsigned>::max()));
}

// One call's indices and its first failure, shared by the workers on it.
struct Workers::Job {
  Job(const Trial& t, size_t n) : trial(t), count(n) {}

  const Trial& trial;
  size_t count;
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  std::mutex failure_lock;
  std::exception_ptr first_failure;

  void Work(unsigned worker) {
    while (!failed.load()) {
      const size_t index = next.fetch_add(1);
      if (index >= count) return;
      try {
        trial(index, worker);
      } catch (...) {
        const std::lock_guard<std::mutex> hold(failure_lock);
        if (!first_failure) first_failure = std::current_exception();
        failed.store(true);
      }
    }
  }
};

Workers::Workers(unsigned count) : count_(std::max(count, 1u)) {}

Workers::~Workers() {
  {
    const std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& helper : helpers_) helper.join();
}

void Workers::StartHelpers(unsigned wanted) {
  while (helpers_.size() < wanted) {
    const unsigned worker = static_cast<unsigned>(helpers_.size()) + 1;
    try {
      helpers_.emplace_back([this, worker, seen = generation_] { Serve(worker, seen); });
    } catch (...) {
      return;  // no thread to spare: the others do the work
    }
  }
}

void Workers::Serve(unsigned worker, uint64_t seen) {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    wake_.wait(hold, [&] { return stopping_ || generation_ != seen; });
    if (stopping_) return;
    seen = generation_;
    if (worker > active_) continue;
    Job* job = job_;
    hold.unlock();
    job->Work(worker);
    hold.lock();
    if (--busy_ == 0) done_.notify_all();
  }
}

void Workers::Run(size_t count, const Trial& trial, unsigned most) {
  Job job(trial, count);
  const size_t wanted = std::min({count, size_t{count_}, size_t{std::max(most, 1u)}});
  bool shared = false;
  if (wanted > 1) {
    const std::lock_guard<std::mutex> hold(lock_);
    if (!running_) {
      StartHelpers(static_cast<unsigned>(wanted - 1));
      running_ = shared = true;
      job_ = &job;
      active_ = busy_ = std::min(static_cast<unsigned>(wanted - 1), static_cast<unsigned>(helpers_.size()));
      ++generation_;
    }
  }
  if (shared) wake_.notify_all();
  job.Work(0);
  if (shared) {
    std::unique_lock<std::mutex> hold(lock_);
    done_.wait(hold, [&] { return busy_ == 0; });
    job_ = nullptr;
    running_ = false;
  }
  if (job.first_failure) std::rethrow_exception(job.first_failure);
}

}  // namespace repng::png
