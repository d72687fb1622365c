// Running independent trials on several threads. The encoding of one picture
// owns its workers: their threads start with its first parallel stage and end
// with it. Callers make the outcome independent of which worker ran what and
// when, and of how many workers there are.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

namespace repng::png {

// The machine's processor cores, at least 1.
unsigned CoreCount();

// How many trials that each hold `bytes` of memory may run at once: as many
// as settings::kParallelTrialMemory holds, and two in any case.
unsigned TrialsAtOnce(size_t bytes);

using Trial = std::function<void(size_t index, unsigned worker)>;

class Workers {
 public:
  // Up to `count` threads, the caller's included (0 counts as 1).
  explicit Workers(unsigned count = CoreCount());
  ~Workers();
  Workers(const Workers&) = delete;
  Workers& operator=(const Workers&) = delete;

  unsigned Count() const { return count_; }

  // Calls trial(index, worker) once for every index below `count`, on up to
  // `most` workers at once, the calling thread among them; `worker` is below
  // Count() and identifies the thread within the call, so per-worker state
  // needs no locking. Calls may nest (a trial may call Run) and come from
  // several threads at once: idle workers join any call with indices left,
  // the innermost first, and a caller whose own indices are all handed out
  // helps the calls nested in its own until its trials have finished. The
  // first exception thrown by a trial stops the handing out of new indices
  // of its call and is rethrown here once every worker has left the call.
  void Run(size_t count, const Trial& trial, unsigned most = std::numeric_limits<unsigned>::max());

 private:
  struct Job;
  // Starts helper threads until there are `wanted`, or no more can start.
  void StartHelpers(unsigned wanted);
  void Serve();
  // The innermost call that a thread may join: one with indices left and
  // room for another worker, nested in `within` when that is given.
  Job* OpenJob(const Job* within) const;
  // Takes the next worker slot of `job` and works on it; lock_ is held
  // around the call, released during the work.
  void Join(Job* job, std::unique_lock<std::mutex>& hold);

  unsigned count_;
  std::mutex lock_;
  // Woken when a call starts and when the last worker leaves one.
  std::condition_variable changed_;
  std::vector<Job*> jobs_;  // the calls in progress that were shared, oldest first
  bool stopping_ = false;
  std::vector<std::thread> helpers_;  // last: joined before the rest is gone
};

}  // namespace repng::png
