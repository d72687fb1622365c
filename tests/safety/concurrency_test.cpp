// Several instances on the same files, and an instance while another
// process rewrites or deletes some of them: no file is ever damaged, and
// every line printed is one of the program's lines.
#include <signal.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "safety/batch_support.h"

namespace repng::safety {
namespace {

size_t BatchFiles() { return IsBenchRun() ? 400 : kSanitized ? 40 : 100; }

TEST(ConcurrencyTest, InstancesStartedTogetherOnTheSameFiles) {
  const std::vector<SampleFile> files = MakeSampleBatch(BatchFiles(), 8);
  Tally tally;
  for (const int instances : {2, 4}) {
    SCOPED_TRACE(std::to_string(instances) + " instances");
    ScratchFolder folder;
    const ScratchFolder logs;
    FillFolder(folder, files);
    const FolderExpectation expectation = Snapshot(folder.Folder());
    std::vector<Batch> batches;
    std::vector<pid_t> children;
    for (int i = 0; i < instances; ++i)
      batches.push_back({REPNG_PROGRAM, folder.Folder(), NamesOf(files), logs.PathOf(std::to_string(i))});
    for (const Batch& batch : batches) children.push_back(StartBatch(batch));
    size_t rewritten = 0;
    for (int i = 0; i < instances; ++i) {
      EXPECT_EQ(WaitForBatch(children[i]), 0);
      const Report report = ReadReport(testing::ReadBytes(batches[i].log), batches[i].names);
      EXPECT_EQ(report.foreign_lines, std::vector<std::string>{});
      // One line for each file, whatever another instance did to it.
      EXPECT_EQ(report.finished, files.size());
      rewritten += report.rewritten;
    }
    const FolderVerdict verdict = CheckFolder(folder.Folder(), expectation);
    EXPECT_EQ(verdict.problems, std::vector<std::string>{});
    EXPECT_GT(rewritten, 0u);  // worked on, not all refused
    tally.inputs += files.size() * size_t(instances);
    tally.Add(verdict);
  }
  RecordTally("instances together", tally);
}

TEST(ConcurrencyTest, AnotherProcessRewritesAndDeletesFilesMeanwhile) {
  const std::vector<SampleFile> files = MakeSampleBatch(BatchFiles() * 2, 8);
  ScratchFolder folder;
  const ScratchFolder logs;
  FillFolder(folder, files);
  FolderExpectation expectation = Snapshot(folder.Folder());
  const Batch batch{REPNG_PROGRAM, folder.Folder(), NamesOf(files), logs.PathOf("run")};

  const unsigned seed = std::random_device{}();
  std::mt19937 random(seed);
  std::uniform_int_distribution<size_t> pick(0, files.size() - 1);
  const pid_t child = StartBatch(batch);
  // Until the instance is done, every few milliseconds a file is deleted or
  // saved anew with another picture, as careful programs save: a new file
  // renamed over the old.
  size_t changes = 0;
  int status = 0;
  for (; waitpid(child, &status, WNOHANG) == 0; ++changes) {
    const std::string& name = files[pick(random)].name;
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
    if (changes > 100000) {
      kill(child, SIGKILL);
      FAIL() << "the instance does not finish";
    }
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(ReadReport(testing::ReadBytes(batch.log), batch.names).foreign_lines, std::vector<std::string>{});
  const FolderVerdict verdict = CheckFolder(folder.Folder(), expectation);
  EXPECT_EQ(verdict.problems, std::vector<std::string>{}) << "seed " << seed << ", " << changes << " changes";
  Tally tally{.inputs = files.size()};
  tally.Add(verdict);
  RecordTally("instance beside another process", tally);
}

}  // namespace
}  // namespace repng::safety
