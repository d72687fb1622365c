// Faults injected into a batch of the program's test build: at each step of
// the overwrite, and as an allocation failure at each allocation in turn.
// The old file stays as it was, or becomes a complete PNG of the same
// picture, and nothing new is left in the folder.
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/posix/kernel32/file_test_hooks.h"
#include "safety/batch_support.h"

namespace repng::safety {
namespace {

using posix::testing::FileFault;

// The batch with these "NAME" = "value" pairs in its environment.
int RunWithFaults(const Batch& batch, const std::vector<std::pair<const char*, std::string>>& faults) {
  for (const auto& [name, value] : faults) setenv(name, value.c_str(), 1);
  const int status = WaitForBatch(StartBatch(batch));
  for (const auto& [name, value] : faults) unsetenv(name);
  return status;
}

TEST(FaultTest, EachStepOfTheOverwriteFailsWithTheOldFileIntact) {
  const std::string picture = MakeBmpPicture(40, 30, 1);
  const ScratchFolder logs;
  Tally tally;
  for (const bool unnamed : {true, false})
    // Every step up to the final rename; the move after a failed replace
    // is reached only when the old file has gone.
    for (int step = 0; step <= int(FileFault::kRenameIntoPlace); ++step)
      // A named new file needs no linking; a file with several names is
      // rewritten in place, with nothing to replace or rename.
      for (const bool hard_linked : {false, true}) {
        const auto fault = FileFault(step);
        if ((fault == FileFault::kLinkIntoFolder && !unnamed) ||
            (hard_linked && (fault == FileFault::kReplace || fault == FileFault::kRenameIntoPlace)))
          continue;
        SCOPED_TRACE("step " + std::to_string(step) + (unnamed ? ", unnamed" : ", named") +
                     (hard_linked ? ", hard-linked" : ""));
        ScratchFolder folder;
        testing::WriteBytes(folder.PathOf("photo.bmp"), picture, 0640);
        if (hard_linked) {
          ASSERT_EQ(link(folder.PathOf("photo.bmp").c_str(), folder.PathOf("other.bmp").c_str()), 0);
        }
        const FolderExpectation expectation = Snapshot(folder.Folder());
        const Batch batch{REPNG_FAULTY_PROGRAM, folder.Folder(), {"photo.bmp"}, logs.PathOf("run")};
        std::vector<std::pair<const char*, std::string>> faults = {{"REPNG_FILE_FAULT", std::to_string(step)}};
        if (!unnamed) faults.push_back({"REPNG_NAMED_NEW_FILES", "1"});

        EXPECT_EQ(RunWithFaults(batch, faults), 0);
        const Report report = ReadReport(batch);
        EXPECT_EQ(report.write_failed, 1u);
        EXPECT_EQ(report.foreign_lines, std::vector<std::string>{});
        EXPECT_EQ(CheckFolder(folder.Folder(), expectation, tally), std::vector<std::string>{});
        EXPECT_EQ(testing::PermissionBitsOf(folder.PathOf("photo.bmp")), 0640u);
        ++tally.inputs;
        ++tally.faults;
      }
  RecordTally("write faults", tally);
}

// The two failures that leave a picture away from its name: the line says
// so and where it is, and it is whole there.
TEST(FaultTest, AFailureThatMovesAPictureSaysWhereItIs) {
  const std::string picture = MakeBmpPicture(40, 30, 2);
  const ScratchFolder logs;
  const auto step = [](FileFault fault) { return std::to_string(int(fault)); };
  const struct {
    std::string faults;
    bool hard_linked;
    const char* kept;  // the old content's name, or null: the new picture's place is the program's to pick
  } cases[] = {
      // The in-place write fails after the copy of the old content, and so
      // does writing that back.
      {step(FileFault::kWrite) + ":1", true, "photo.bmp.repng-original"},
      // The old file leaves its name, and neither the move nor a copy of the
      // new picture can take it.
      {step(FileFault::kReplaceAfterRemovingOld) + "," + step(FileFault::kMove) + "," + step(FileFault::kCreateNew) +
           ":1",
       false, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hard_linked ? "hard-linked" : "replaced");
    ScratchFolder folder;
    testing::WriteBytes(folder.PathOf("photo.bmp"), picture);
    if (c.hard_linked) {
      ASSERT_EQ(link(folder.PathOf("photo.bmp").c_str(), folder.PathOf("other.bmp").c_str()), 0);
    }
    const Batch batch{REPNG_FAULTY_PROGRAM, folder.Folder(), {"photo.bmp"}, logs.PathOf("run")};
    EXPECT_EQ(RunWithFaults(batch, {{"REPNG_FILE_FAULT", c.faults}}), 0);
    const Report report = ReadReport(batch);
    EXPECT_EQ(report.foreign_lines, std::vector<std::string>{});
    EXPECT_EQ(report.write_failed, 1u);
    ASSERT_EQ(report.elsewhere.size(), 1u);
    const std::string where = report.elsewhere[0];
    const std::string real_folder = std::filesystem::canonical(folder.Folder()).string() + "/";
    ASSERT_TRUE(where.starts_with(real_folder)) << where;
    if (c.kept) {
      EXPECT_EQ(where, real_folder + c.kept);
      EXPECT_EQ(testing::ReadBytes(where), picture);
    } else {
      EXPECT_FALSE(std::filesystem::exists(folder.PathOf("photo.bmp")));
      EXPECT_TRUE(IsPngOf(picture, testing::ReadBytes(where))) << where;
    }
  }
}

// The allocation counter's last words: "allocations <n> failed <0|1>".
std::pair<size_t, int> CountedOf(const Batch& batch) {
  const std::string errors = testing::ReadBytes(batch.log + ".err");
  unsigned long long allocations = 0;
  int failed = -1;
  const size_t at = errors.rfind("allocations ");
  if (at != std::string::npos) std::sscanf(errors.c_str() + at, "allocations %llu failed %d", &allocations, &failed);
  return {size_t(allocations), failed};
}

// The program reports the crash (or absorbs the failure and finishes) and
// exits with 0.
TEST(FaultTest, EachAllocationOfABatchFailsInTurn) {
  // Runs that CI can afford; bench/safety tries every allocation.
  constexpr size_t kQuickRuns = kSanitized ? 30 : 60;
  const Files files = MakeSampleBatch(5);  // BMP, PNG, GIF, damaged PNG, text
  ScratchFolder folder;
  const ScratchFolder logs;
  FillFolder(folder, files);
  const Batch batch = BatchOnFolder(REPNG_FAULTY_PROGRAM, folder, logs);
  ASSERT_EQ(RunWithFaults(batch, {}), 0);
  const auto [sites, failed] = CountedOf(batch);
  ASSERT_EQ(failed, 0);
  // More allocations than this in a batch of five small files is a fault of
  // its own.
  ASSERT_GT(sites, 0u);
  ASSERT_LT(sites, 200000u);
  EXPECT_EQ(ReadReport(batch).finished, files.size());
  std::printf("allocation sites in the batch: %zu\n", sites);

  // All of the first sites (where the batch sets itself up), then an even
  // spread over the rest.
  const size_t runs = IsBenchRun() ? sites : std::min(sites, kQuickRuns);
  const size_t leading = runs == sites ? sites : runs / 2;
  Tally tally;
  for (size_t run = 1; run <= runs; ++run) {
    const size_t site = run <= leading ? run : leading + (sites - leading) * (run - leading) / (runs - leading);
    SCOPED_TRACE("allocation " + std::to_string(site));
    FillFolder(folder, files);
    const FolderExpectation expectation = Snapshot(folder.Folder());
    EXPECT_EQ(RunWithFaults(batch, {{"REPNG_FAIL_ALLOCATION", std::to_string(site)}}), 0);
    const Report report = ReadReport(batch);
    EXPECT_EQ(report.foreign_lines, std::vector<std::string>{});
    EXPECT_TRUE(report.crashed || report.finished == files.size());
    EXPECT_EQ(CheckFolder(folder.Folder(), expectation, tally), std::vector<std::string>{});
    tally.inputs += files.size();
    tally.faults += CountedOf(batch).second == 1 ? 1 : 0;
  }
  RecordTally("allocation faults", tally);
}

}  // namespace
}  // namespace repng::safety
