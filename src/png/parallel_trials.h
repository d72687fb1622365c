// Running independent trials on several threads. The encoding of one picture
// owns its workers: their threads start with its first parallel stage and end
// with it. Callers make the outcome independent of which worker ran what and
// when, and of how many workers there are.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
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
  // needs no locking. A call made while another runs (from inside a trial,
  // or from another thread) runs on its caller alone. The first exception
  // thrown by a trial stops the handing out of new indices and is rethrown
  // here once every worker has stopped.
  void Run(size_t count, const Trial& trial, unsigned most = std::numeric_limits<unsigned>::max());

 private:
  struct Job;
  // Starts helper threads until there are `wanted`, or no more can start.
  void StartHelpers(unsigned wanted);
  void Serve(unsigned worker, uint64_t seen);

  unsigned count_;
  std::mutex lock_;
  std::condition_variable wake_;
  std::condition_variable done_;
  bool running_ = false;  // a Run is using the helpers
  Job* job_ = nullptr;
  uint64_t generation_ = 0;  // one per job handed to the helpers
  unsigned active_ = 0;      // helpers 1 .. active_ work on the job
  unsigned busy_ = 0;        // of those, the ones not finished yet
  bool stopping_ = false;
  std::vector<std::thread> helpers_;  // last: joined before the rest is gone
};

}  // namespace repng::png
