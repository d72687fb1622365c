// The program killed with SIGKILL at random moments of a batch, many times
// over: every file is byte-identical to before or a complete PNG of the same
// picture, and a kill leaves nothing else in the folder.
#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

#include "safety/batch_support.h"

namespace repng::safety {
namespace {

using Clock = std::chrono::steady_clock;

TEST(KillTest, AKillAtAnyMomentLosesNoFile) {
  // A few hundred small files and 200+ kills in bench/safety; in CI what
  // fits in half a minute, fewer under the sanitizers.
  const size_t kills_wanted = IsBenchRun() ? 220 : kSanitized ? 10 : 40;
  const size_t kills_needed = kSanitized ? 3 : 8;
  const std::vector<SampleFile> files = MakeSampleBatch(IsBenchRun() ? 250 : 100, 8);
  ScratchFolder folder;
  const ScratchFolder logs;
  const Batch batch{REPNG_PROGRAM, folder.Folder(), NamesOf(files), logs.PathOf("run")};

  FillFolder(folder, files);
  const FolderExpectation expectation = Snapshot(folder.Folder());
  const Clock::time_point started = Clock::now();
  ASSERT_EQ(RunBatch(batch).exit_status, 0);
  const auto batch_time = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - started);
  const unsigned seed = std::random_device{}();
  std::printf("batch of %zu files: %lld ms; seed %u\n", files.size(), (long long)batch_time.count() / 1000, seed);
  std::mt19937 random(seed);
  std::uniform_int_distribution<long long> moment(0, batch_time.count());

  Tally tally;
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(25);
  for (int attempt = 0; tally.kills < kills_wanted && (IsBenchRun() || Clock::now() < deadline); ++attempt) {
    // Between refills, kills meet files that the run before rewrote.
    if (attempt % 4 == 0) FillFolder(folder, files);
    const pid_t child = StartBatch(batch);
    std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
    kill(child, SIGKILL);
    const int status = WaitForBatch(child);
    ASSERT_TRUE(status == 0 || status == 128 + SIGKILL) << status;
    tally.kills += status != 0 ? 1 : 0;
    const FolderVerdict verdict = CheckFolder(folder.Folder(), expectation);
    ASSERT_EQ(verdict.problems, std::vector<std::string>{}) << "seed " << seed;
    tally.inputs += files.size();
    tally.Add(verdict);
  }
  std::printf("kills: %zu\n", tally.kills);
  EXPECT_GE(tally.kills, kills_needed);
  RecordTally("kills", tally);
}

}  // namespace
}  // namespace repng::safety
