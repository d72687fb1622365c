// The program killed with SIGKILL at random moments of a batch, many times
// over: every file is byte-identical to before or a complete PNG of the same
// picture, and a kill leaves nothing else in the folder.
#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

#include "safety/folder_check.h"
#include "safety/program_runs.h"
#include "safety/safety_tally.h"

namespace repng::safety {
namespace {

using Clock = std::chrono::steady_clock;

// A few hundred files in bench/safety; fewer in CI, so that many kills fit.
constexpr size_t kBenchBatchFiles = 250;
constexpr size_t kQuickBatchFiles = 100;
// Small pictures, so that a batch is short and many kills fit in the time.
constexpr uint32_t kSide = 8;
constexpr int kQuickKills = 40;
// Fewer kills than this within the time means the test proved little.
constexpr size_t kMinQuickKills = kSanitized ? 3 : 8;
constexpr int kBenchKills = 220;
constexpr auto kQuickBudget = std::chrono::seconds(25);
// The folder starts afresh now and then; in between, kills hit batches that
// meet files rewritten by the run before.
constexpr int kKillsPerRefill = 4;

TEST(KillTest, AKillAtAnyMomentLosesNoFile) {
  // Under the sanitizers a batch is several times slower: fewer kills, the
  // same check.
  const int kills_wanted = IsBenchRun() ? kBenchKills : kSanitized ? kQuickKills / 4 : kQuickKills;
  const std::vector<SampleFile> files =
      MakeSampleBatch(IsBenchRun() ? kBenchBatchFiles : kQuickBatchFiles, kSide);
  BatchFolder folder;
  BatchFolder logs;
  const ChildSpec spec = BatchSpec(REPNG_PROGRAM, folder.Path(), NamesOf(files), logs);

  folder.Fill(files);
  const FolderExpectation expectation = ExpectUnchangedOrRewritten(folder.Path());
  const Clock::time_point started = Clock::now();
  ASSERT_EQ(RunToEnd(spec).exit_status, 0);
  const auto batch_time = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - started);
  ASSERT_TRUE(CheckFolder(folder.Path(), expectation).Clean());

  const unsigned seed = std::random_device{}();
  std::printf("batch of %zu files: %lld ms; seed %u\n", files.size(),
              static_cast<long long>(batch_time.count() / 1000), seed);
  std::mt19937 random(seed);
  std::uniform_int_distribution<long long> moment(0, batch_time.count());

  Tally tally;
  const Clock::time_point deadline = Clock::now() + kQuickBudget;
  for (int attempt = 0; tally.kills < static_cast<size_t>(kills_wanted); ++attempt) {
    if (!IsBenchRun() && Clock::now() > deadline) break;
    if (attempt % kKillsPerRefill == 0) folder.Fill(files);
    const pid_t child = StartChild(spec);
    std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
    kill(child, SIGKILL);
    const int status = WaitForChild(child);
    ASSERT_TRUE(status == 0 || status == 128 + SIGKILL) << status;
    if (status != 0) ++tally.kills;

    const FolderVerdict verdict = CheckFolder(folder.Path(), expectation);
    ASSERT_TRUE(verdict.Clean()) << "seed " << seed << ": " << ::testing::PrintToString(verdict.problems);
    tally.inputs += files.size();
    tally.files_checked += verdict.files_checked;
    tally.damaged += verdict.damaged + verdict.stray;
  }
  std::printf("kills: %zu\n", tally.kills);
  EXPECT_GE(tally.kills, std::min<size_t>(kMinQuickKills, static_cast<size_t>(kills_wanted)));
  RecordTally("kills", tally);
}

}  // namespace
}  // namespace repng::safety
