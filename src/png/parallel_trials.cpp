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

// One call's indices, its workers and its first failure. Its counts of
// workers are guarded by the pool's lock.
struct Workers::Job {
  Job(const Trial& t, size_t n, unsigned most, const Job* outer) : trial(t), count(n), limit(most), parent(outer) {}

  const Trial& trial;
  size_t count;
  unsigned limit;     // workers on it at most, the caller included
  const Job* parent;  // the call whose trial made this one, if any
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  std::mutex failure_lock;
  std::exception_ptr first_failure;
  unsigned joined = 1;   // worker slots handed out; the caller has 0
  unsigned working = 1;  // workers not finished with it yet

  // Whether another worker could take part. Once false it stays false:
  // `next` only grows and `joined` never falls.
  bool Open() const { return !failed.load() && next.load() < count && joined < limit; }

  bool NestedIn(const Job* outer) const {
    for (const Job* job = parent; job != nullptr; job = job->parent) {
      if (job == outer) return true;
    }
    return false;
  }

  void Work(unsigned worker) {
    const Job* const outer = current;
    current = this;
    while (!failed.load()) {
      const size_t index = next.fetch_add(1);
      if (index >= count) break;
      try {
        trial(index, worker);
      } catch (...) {
        const std::lock_guard<std::mutex> hold(failure_lock);
        if (!first_failure) first_failure = std::current_exception();
        failed.store(true);
      }
    }
    current = outer;
  }

  // The call whose trial this thread is running, if any.
  static thread_local const Job* current;
};

thread_local const Workers::Job* Workers::Job::current = nullptr;

Workers::Workers(unsigned count) : count_(std::max(count, 1u)) {}

Workers::~Workers() {
  {
    const std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (std::thread& helper : helpers_) helper.join();
}

void Workers::StartHelpers(unsigned wanted) {
  while (helpers_.size() < wanted) {
    try {
      helpers_.emplace_back([this] { Serve(); });
    } catch (...) {
      return;  // no thread to spare: the others do the work
    }
  }
}

Workers::Job* Workers::OpenJob(const Job* within) const {
  for (auto job = jobs_.rbegin(); job != jobs_.rend(); ++job) {
    if ((*job)->Open() && (within == nullptr || (*job)->NestedIn(within))) return *job;
  }
  return nullptr;
}

void Workers::Join(Job* job, std::unique_lock<std::mutex>& hold) {
  const unsigned worker = job->joined++;
  ++job->working;
  hold.unlock();
  job->Work(worker);
  hold.lock();
  if (--job->working == 0) changed_.notify_all();
}

void Workers::Serve() {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    Job* job = nullptr;
    changed_.wait(hold, [&] { return stopping_ || (job = OpenJob(nullptr)) != nullptr; });
    if (stopping_) return;
    Join(job, hold);
  }
}

void Workers::Run(size_t count, const Trial& trial, unsigned most) {
  const unsigned limit = static_cast<unsigned>(std::min({count, size_t{count_}, size_t{std::max(most, 1u)}}));
  Job job(trial, count, std::max(limit, 1u), Job::current);
  if (limit <= 1) {
    job.Work(0);
  } else {
    {
      const std::lock_guard<std::mutex> hold(lock_);
      StartHelpers(limit - 1);
      jobs_.push_back(&job);
    }
    changed_.notify_all();
    job.Work(0);
    // Every index is handed out: help the calls nested in this one's
    // trials while they run, rather than wait beside them.
    std::unique_lock<std::mutex> hold(lock_);
    --job.working;
    while (job.working > 0) {
      if (Job* nested = OpenJob(&job)) {
        Join(nested, hold);
      } else {
        changed_.wait(hold);
      }
    }
    jobs_.erase(std::find(jobs_.begin(), jobs_.end(), &job));
  }
  if (job.first_failure) std::rethrow_exception(job.first_failure);
}

}  // namespace repng::png
