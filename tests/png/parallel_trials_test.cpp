// The workers of one encoding: every index once, on as many workers as asked
// and no more, from nested calls and from several threads at once, and a
// failure that leaves the workers usable.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <limits>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "png/parallel_trials.h"
#include "png/search_settings.h"

namespace repng::png {
namespace {

// Runs `count` trials on at most `most` workers and expects each index
// exactly once, each on a worker below that; `inner` trials are run from
// inside every trial. Returns the workers that took part.
std::set<unsigned> ExpectEveryIndexOnce(Workers& workers, size_t count, size_t inner = 0,
                                        unsigned most = std::numeric_limits<unsigned>::max()) {
  std::vector<std::atomic<int>> runs(count);
  std::mutex seen_lock;
  std::set<unsigned> seen;
  workers.Run(count, [&](size_t index, unsigned worker) {
    if (inner > 0) ExpectEveryIndexOnce(workers, inner);
    ++runs[index];
    const std::lock_guard<std::mutex> hold(seen_lock);
    seen.insert(worker);
  }, most);
  for (size_t i = 0; i < count; ++i) EXPECT_EQ(runs[i].load(), 1) << "index " << i << " of " << count;
  if (!seen.empty()) {
    EXPECT_LT(*seen.rbegin(), std::min(workers.Count(), most));
  }
  return seen;
}

TEST(ParallelTrials, EveryIndexOnceOnTheWorkersAsked) {
  for (const unsigned count : {1u, 2u, 3u, 8u}) {
    Workers workers(count);
    EXPECT_EQ(workers.Count(), count);
    for (const size_t trials : {0, 1, 2, 3, 100}) ExpectEveryIndexOnce(workers, trials);
    ExpectEveryIndexOnce(workers, 100, 0, 2);
  }
  EXPECT_EQ(Workers(0).Count(), 1u);
  EXPECT_GE(CoreCount(), 1u);
}

TEST(ParallelTrials, EveryWorkerAllowedTakesPartEvenBeyondTheCores) {
  for (const unsigned count : {2u, 3u, 8u}) {
    Workers workers(count);
    for (const unsigned most : {2u, count}) {
      // Each trial waits until all have started, which they can only do on
      // as many threads.
      std::atomic<unsigned> started{0};
      std::mutex seen_lock;
      std::set<unsigned> seen;
      workers.Run(size_t{count} * 2, [&](size_t, unsigned worker) {
        {
          const std::lock_guard<std::mutex> hold(seen_lock);
          seen.insert(worker);
        }
        ++started;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (started.load() < most && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
      }, most);
      EXPECT_EQ(seen.size(), most) << count << " workers";
    }
  }
}

// Each of `count` trials waits until `threads` distinct threads have run
// one, which they can only do when that many take part. Returns how many did.
size_t ThreadsMeetingIn(Workers& workers, size_t count, unsigned threads) {
  std::atomic<unsigned> started{0};
  std::mutex seen_lock;
  std::set<std::thread::id> seen;
  std::set<unsigned> slots;
  workers.Run(count, [&](size_t, unsigned worker) {
    {
      const std::lock_guard<std::mutex> hold(seen_lock);
      if (!seen.insert(std::this_thread::get_id()).second) return;
      EXPECT_TRUE(slots.insert(worker).second) << "two threads in slot " << worker;
    }
    ++started;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (started.load() < threads && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  });
  return seen.size();
}

TEST(ParallelTrials, IdleWorkersAndWaitingCallersJoinNestedCalls) {
  for (const unsigned count : {2u, 3u, 8u}) {
    Workers workers(count);
    // The outer call's other trials end at once: trial 0's nested call
    // meets every thread only if the idle helpers join it, and the outer
    // caller too when trial 0 is not its own.
    std::atomic<bool> nested_done{false};
    size_t met = 0;
    workers.Run(count, [&](size_t index, unsigned) {
      if (index != 0) return;
      met = ThreadsMeetingIn(workers, 4 * size_t{count}, count);
      nested_done = true;
    });
    EXPECT_TRUE(nested_done.load());
    EXPECT_EQ(met, count) << count << " workers";
  }
}

TEST(ParallelTrials, NestedCallsAndCallsFromOtherThreadsRunEveryIndexOnce) {
  Workers workers(3);
  ExpectEveryIndexOnce(workers, 5, 7);
  std::vector<std::thread> callers;
  for (int t = 0; t < 3; ++t) {
    callers.emplace_back([&workers] {
      for (int round = 0; round < 30; ++round) ExpectEveryIndexOnce(workers, 9, round % 5 == 0 ? 3 : 0);
    });
  }
  for (std::thread& caller : callers) caller.join();
}

TEST(ParallelTrials, TheFirstFailureIsRethrownAndTheWorkersStayUsable) {
  Workers workers(4);
  for (int round = 0; round < 20; ++round) {
    EXPECT_THROW(workers.Run(50,
                             [](size_t index, unsigned) {
                               if (index % 7 == 3) throw std::runtime_error("trial failed");
                             }),
                 std::runtime_error);
    ExpectEveryIndexOnce(workers, 10);
  }
}

TEST(ParallelTrials, HeavyTrialsRunTwoAtOnceAndLightOnesOnEveryWorker) {
  EXPECT_EQ(TrialsAtOnce(settings::kParallelTrialMemory), 2u);
  EXPECT_EQ(TrialsAtOnce(SIZE_MAX), 2u);
  EXPECT_EQ(TrialsAtOnce(settings::kParallelTrialMemory / 5), 5u);
  EXPECT_GE(TrialsAtOnce(0), 64u);
}

}  // namespace
}  // namespace repng::png
