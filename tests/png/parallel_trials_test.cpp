// The trials' worker pool: every index once, from nested calls and from
// several threads at once, and a failure that leaves the pool usable.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "png/parallel_trials.h"

namespace repng::png {
namespace {

// Runs `count` trials and expects each index exactly once, each on a worker
// below WorkerCount(); `inner` trials are run from inside every trial.
void ExpectEveryIndexOnce(size_t count, size_t inner = 0) {
  std::vector<std::atomic<int>> runs(count);
  std::atomic<bool> bad_worker{false};
  RunTrials(count, [&](size_t index, unsigned worker) {
    if (worker >= WorkerCount()) bad_worker = true;
    if (inner > 0) ExpectEveryIndexOnce(inner);
    ++runs[index];
  });
  EXPECT_FALSE(bad_worker);
  for (size_t i = 0; i < count; ++i) EXPECT_EQ(runs[i].load(), 1) << "index " << i << " of " << count;
}

TEST(ParallelTrials, EveryIndexOnceAlsoWhenNestedOrFromSeveralThreads) {
  for (const size_t count : {0, 1, 2, 3, 100}) ExpectEveryIndexOnce(count);
  ExpectEveryIndexOnce(5, 7);
  std::vector<std::thread> callers;
  for (int t = 0; t < 3; ++t) {
    callers.emplace_back([] {
      for (int round = 0; round < 50; ++round) ExpectEveryIndexOnce(9, round % 5 == 0 ? 3 : 0);
    });
  }
  for (std::thread& caller : callers) caller.join();
}

TEST(ParallelTrials, TheFirstFailureIsRethrownAndThePoolStaysUsable) {
  for (int round = 0; round < 20; ++round) {
    EXPECT_THROW(RunTrials(50,
                           [](size_t index, unsigned) {
                             if (index % 7 == 3) throw std::runtime_error("trial failed");
                           }),
                 std::runtime_error);
    ExpectEveryIndexOnce(10);
  }
}

}  // namespace
}  // namespace repng::png
