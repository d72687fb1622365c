// Timing: the program killed with SIGKILL at random moments of a batch, many
// times over; several instances on the same files; an instance while another
// process rewrites or deletes some of them. No file is ever damaged, and
// every line printed is one of the program's lines.
#include <signal.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <regex>
#include <thread>

#include "safety/batch_support.h"

namespace repng::safety {
namespace {

using Clock = std::chrono::steady_clock;

// A kill in the split moment between naming the complete new file and its
// rename over the picture leaves it under a name of its own (the README says
// so): it must hold the complete new PNG of a picture of the batch. Removed,
// and counted.
size_t RemoveKillLeftovers(const ScratchFolder& folder, const Files& files) {
  size_t leftovers = 0;
  for (const std::string& name : folder.Names()) {
    if (!std::regex_match(name, std::regex(R"(\.~repng\d-\d+-\d+)"))) continue;
    const std::string content = testing::ReadBytes(folder.PathOf(name));
    EXPECT_TRUE(std::ranges::any_of(files, [&](const auto& file) { return IsPngOf(file.second, content); })) << name;
    std::filesystem::remove(folder.PathOf(name));
    ++leftovers;
  }
  return leftovers;
}

TEST(TimingTest, AKillAtAnyMomentLosesNoFile) {
  // A few hundred small files and 200+ kills in bench/safety; in CI what
  // fits in half a minute, fewer under the sanitizers.
  const size_t kills_wanted = IsBenchRun() ? 220 : kSanitized ? 10 : 40;
  const Files files = MakeSampleBatch(IsBenchRun() ? 250 : 100, 8);
  ScratchFolder folder;
  const ScratchFolder logs;
  FillFolder(folder, files);
  const FolderExpectation expectation = Snapshot(folder.Folder());
  const Batch batch = BatchOnFolder(REPNG_PROGRAM, folder, logs);

  const Clock::time_point started = Clock::now();
  ASSERT_EQ(WaitForBatch(StartBatch(batch)), 0);
  long long window = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - started).count();
  const unsigned seed = std::random_device{}();
  std::printf("batch of %zu files: %lld ms; seed %u\n", files.size(), window / 1000, seed);
  std::mt19937 random(seed);

  Tally tally;
  size_t leftovers = 0;
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(25);
  for (int attempt = 0; tally.kills < kills_wanted && (IsBenchRun() || Clock::now() < deadline); ++attempt) {
    // Between refills, kills meet files that the run before rewrote.
    if (attempt % 4 == 0) FillFolder(folder, files);
    const pid_t child = StartBatch(batch);
    std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<long long>(0, window)(random)));
    kill(child, SIGKILL);
    const int status = WaitForBatch(child);
    ASSERT_TRUE(status == 0 || status == 128 + SIGKILL) << status;
    tally.kills += status != 0 ? 1 : 0;
    // A batch that ended before its kill ran faster than the first one.
    if (status == 0) window = window * 3 / 4;
    leftovers += RemoveKillLeftovers(folder, files);
    ASSERT_EQ(CheckFolder(folder.Folder(), expectation, tally), std::vector<std::string>{}) << "seed " << seed;
    tally.inputs += files.size();
  }
  std::printf("kills: %zu, leftovers: %zu\n", tally.kills, leftovers);
  EXPECT_GE(tally.kills, kSanitized ? 3u : 8u);
  RecordTally("kills", tally);

  // The check itself sees damage: the PNG of another picture of the batch,
  // and a file that was not there.
  ASSERT_EQ(WaitForBatch(StartBatch(batch)), 0);
  testing::WriteBytes(folder.PathOf("00005.bmp"), testing::ReadBytes(folder.PathOf("00000.bmp")));
  testing::WriteBytes(folder.PathOf(".~repng0"), "");
  Tally unrecorded;
  EXPECT_EQ(CheckFolder(folder.Folder(), expectation, unrecorded),
            (std::vector<std::string>{"00005.bmp: damaged", ".~repng0: stray"}));
}

// One instance while another process keeps rewriting or deleting some of
// its files, then two and four instances started together on the same files.
TEST(TimingTest, InstancesTogetherOrBesideAnotherProcess) {
  const Files files = MakeSampleBatch(IsBenchRun() ? 400 : kSanitized ? 40 : 100, 8);
  for (const size_t instances : {1, 2, 4}) {
    const std::string part = instances == 1 ? "1 instance beside another process"
                                            : std::to_string(instances) + " instances together";
    SCOPED_TRACE(part);
    ScratchFolder folder;
    const ScratchFolder logs;
    FillFolder(folder, files);
    FolderExpectation expectation = Snapshot(folder.Folder());
    std::vector<Batch> batches(instances, BatchOnFolder(REPNG_PROGRAM, folder, logs));
    std::vector<pid_t> children;
    for (size_t i = 0; i < instances; ++i) {
      batches[i].log = logs.PathOf(std::to_string(i));
      children.push_back(StartBatch(batches[i]));
    }
    // Until the one instance is done, every few milliseconds a file is
    // deleted or saved anew with another picture, as careful programs save:
    // a new file renamed over the old. The files are visited in a stride
    // that reaches them all; the timing varies from run to run anyway.
    size_t changes = 0;
    for (siginfo_t info{}; instances == 1 && waitid(P_PID, id_t(children[0]), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
                           info.si_pid == 0 && changes < 100000;
         ++changes) {
      const std::string& name = batches[0].names[changes * 37 % files.size()];
      if (changes % 3 == 2) {
        std::filesystem::remove(folder.PathOf(name));
        expectation[name].may_vanish = true;
      } else {
        const std::string picture = MakeBmpPicture(20 + uint32_t(changes % 7), 16, 5);
        expectation[name].versions.push_back(picture);
        testing::WriteBytes(logs.PathOf("saved"), picture);
        std::filesystem::rename(logs.PathOf("saved"), folder.PathOf(name));
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    size_t rewritten = 0;
    for (size_t i = 0; i < instances; ++i) {
      EXPECT_EQ(WaitForBatch(children[i]), 0);
      const Report report = ReadReport(batches[i]);
      EXPECT_EQ(report.foreign_lines, std::vector<std::string>{});
      // One line for each file, whatever another process did to it.
      EXPECT_EQ(report.finished, files.size());
      rewritten += report.rewritten;
    }
    Tally tally{.inputs = files.size() * instances};
    EXPECT_EQ(CheckFolder(folder.Folder(), expectation, tally), std::vector<std::string>{}) << changes << " changes";
    EXPECT_GT(rewritten, 0u);  // worked on, not all refused
    RecordTally(part, tally);
    // The report check itself knows which names are the batch's.
    batches[0].names.pop_back();
    EXPECT_EQ(ReadReport(batches[0]).foreign_lines.size(), 1u);
  }
}

}  // namespace
}  // namespace repng::safety
