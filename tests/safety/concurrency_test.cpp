// Several instances on the same files, and an instance while another
// process rewrites or deletes some of them: no file is ever damaged, and
// every line printed is one of the program's lines.
#include <signal.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <thread>

#include "safety/folder_check.h"
#include "safety/program_lines.h"
#include "safety/program_runs.h"
#include "safety/safety_tally.h"

namespace repng::safety {
namespace {

size_t BatchFiles() { return IsBenchRun() ? 400 : kSanitized ? 40 : 100; }
// Small pictures keep each instance's batch short.
constexpr uint32_t kSide = 8;

TEST(ConcurrencyTest, InstancesStartedTogetherOnTheSameFiles) {
  const std::vector<SampleFile> files = MakeSampleBatch(BatchFiles(), kSide);
  const std::set<std::string> names = NameSetOf(files);
  Tally tally;
  for (const int instances : {2, 4}) {
    SCOPED_TRACE(std::to_string(instances) + " instances");
    BatchFolder folder;
    BatchFolder logs;
    folder.Fill(files);
    const FolderExpectation expectation = ExpectUnchangedOrRewritten(folder.Path());
    std::vector<ChildSpec> specs;
    std::vector<pid_t> children;
    for (int i = 0; i < instances; ++i)
      specs.push_back(BatchSpec(REPNG_PROGRAM, folder.Path(), NamesOf(files), logs, "run" + std::to_string(i)));
    for (const ChildSpec& spec : specs) children.push_back(StartChild(spec));

    size_t rewritten = 0;
    for (int i = 0; i < instances; ++i) {
      EXPECT_EQ(WaitForChild(children[i]), 0);
      const std::string output = ReadText(specs[i].stdout_path);
      EXPECT_EQ(ForeignLines(output, names), std::vector<std::string>{});
      // One line for each file, whatever another instance did to it.
      const OutputSummary summary = SummariseOutput(output);
      EXPECT_EQ(summary.finished_files, files.size());
      rewritten += summary.rewritten_files;
    }
    const FolderVerdict verdict = CheckFolder(folder.Path(), expectation);
    EXPECT_TRUE(verdict.Clean()) << ::testing::PrintToString(verdict.problems);
    // The files were worked on, not all refused.
    EXPECT_GT(rewritten, 0u);
    tally.inputs += files.size() * static_cast<size_t>(instances);
    tally.files_checked += verdict.files_checked;
    tally.damaged += verdict.damaged + verdict.stray;
  }
  RecordTally("instances together", tally);
}

// What a careful program does when it saves: a new file, renamed over.
void SaveAtomically(const std::string& folder, const std::string& name, const std::string& bytes) {
  const std::string temporary = folder + "/.other-save";
  WriteSampleFiles(folder, {{".other-save", bytes}});
  std::filesystem::rename(temporary, folder + "/" + name);
}

TEST(ConcurrencyTest, AnotherProcessRewritesAndDeletesFilesMeanwhile) {
  const std::vector<SampleFile> files = MakeSampleBatch(BatchFiles() * 2, kSide);
  const std::set<std::string> names = NameSetOf(files);
  BatchFolder folder;
  BatchFolder logs;
  folder.Fill(files);
  FolderExpectation expectation = ExpectUnchangedOrRewritten(folder.Path());
  const ChildSpec spec = BatchSpec(REPNG_PROGRAM, folder.Path(), NamesOf(files), logs);

  const unsigned seed = std::random_device{}();
  std::mt19937 random(seed);
  std::uniform_int_distribution<size_t> pick(0, files.size() - 1);
  const pid_t child = StartChild(spec);
  size_t changes = 0;
  // Until the instance is done: every few milliseconds a file is saved anew
  // with another picture or deleted.
  int status = 0;
  while (waitpid(child, &status, WNOHANG) == 0) {
    const SampleFile& target = files[pick(random)];
    if (changes % 3 == 2) {
      std::filesystem::remove(folder.PathOf(target.name));
      expectation[target.name].may_vanish = true;
    } else {
      const std::string picture = MakeBmpPicture(20 + static_cast<uint32_t>(changes % 7), 16, 5);
      expectation[target.name].versions.push_back(picture);
      SaveAtomically(folder.Path(), target.name, picture);
    }
    ++changes;
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    if (changes > 100000) {
      kill(child, SIGKILL);
      FAIL() << "the instance does not finish";
    }
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(ForeignLines(ReadText(spec.stdout_path), names), std::vector<std::string>{});
  const FolderVerdict verdict = CheckFolder(folder.Path(), expectation);
  EXPECT_TRUE(verdict.Clean()) << "seed " << seed << ": " << ::testing::PrintToString(verdict.problems);
  std::printf("changes by the other process: %zu\n", changes);

  Tally tally;
  tally.inputs = files.size();
  tally.files_checked = verdict.files_checked;
  tally.damaged = verdict.damaged + verdict.stray;
  RecordTally("instance beside another process", tally);
}

}  // namespace
}  // namespace repng::safety
