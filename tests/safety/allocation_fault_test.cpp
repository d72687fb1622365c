// An allocation failure at each allocation of a batch in turn: the program
// reports the crash (or absorbs the failure and finishes), exits with 0, and
// every file holds its old bytes or a complete PNG of the same picture.
#include <gtest/gtest.h>

#include <cstdio>

#include "safety/batch_support.h"

namespace repng::safety {
namespace {

// Runs that CI can afford; bench/safety tries every allocation.
constexpr size_t kQuickRuns = kSanitized ? 30 : 60;
// More allocations than this in a batch of five small files is a fault of
// its own.
constexpr unsigned long long kMaxSites = 200000;

// The allocation counter's last words: "allocations <n> failed <0|1>".
std::pair<unsigned long long, int> CountedOf(const std::string& errors) {
  unsigned long long allocations = 0;
  int failed = -1;
  const size_t at = errors.rfind("allocations ");
  if (at != std::string::npos) std::sscanf(errors.c_str() + at, "allocations %llu failed %d", &allocations, &failed);
  return {allocations, failed};
}

// All of the first sites (where the batch sets itself up), then an even
// spread over the rest.
std::vector<size_t> SitesToTry(size_t sites) {
  std::vector<size_t> chosen;
  const size_t leading = IsBenchRun() || sites <= kQuickRuns ? sites : kQuickRuns / 2;
  for (size_t n = 1; n <= leading; ++n) chosen.push_back(n);
  const size_t rest = leading == sites ? 0 : kQuickRuns - leading;
  for (size_t i = 1; i <= rest; ++i) chosen.push_back(leading + (sites - leading) * i / rest);
  return chosen;
}

TEST(AllocationFaultTest, EachAllocationOfABatchFailsInTurn) {
  const std::vector<SampleFile> files = MakeSampleBatch(5);  // BMP, PNG, GIF, damaged PNG, text
  ScratchFolder folder;
  const ScratchFolder logs;
  Batch batch{REPNG_FAILING_ALLOCATIONS_PROGRAM, folder.Folder(), NamesOf(files), logs.PathOf("run")};

  FillFolder(folder, files);
  const BatchRun reference = RunBatch(batch);
  const auto [sites, failed] = CountedOf(reference.errors);
  ASSERT_EQ(failed, 0) << reference.errors;
  ASSERT_GT(sites, 0u);
  ASSERT_LT(sites, kMaxSites);
  EXPECT_EQ(ReadReport(reference.output, batch.names).finished, files.size());
  std::printf("allocation sites in the batch: %llu\n", sites);

  Tally tally;
  for (const size_t site : SitesToTry(sites)) {
    SCOPED_TRACE("allocation " + std::to_string(site));
    FillFolder(folder, files);
    const FolderExpectation expectation = Snapshot(folder.Folder());
    batch.environment = "REPNG_FAIL_ALLOCATION=" + std::to_string(site);
    const BatchRun run = RunBatch(batch);

    EXPECT_EQ(run.exit_status, 0) << run.errors;
    const Report report = ReadReport(run.output, batch.names);
    EXPECT_EQ(report.foreign_lines, std::vector<std::string>{});
    EXPECT_TRUE(report.crashed || report.finished == files.size()) << run.output;
    const FolderVerdict verdict = CheckFolder(folder.Folder(), expectation);
    EXPECT_EQ(verdict.problems, std::vector<std::string>{});
    tally.inputs += files.size();
    tally.faults += CountedOf(run.errors).second == 1 ? 1 : 0;
    tally.Add(verdict);
  }
  RecordTally("allocation faults", tally);
}

}  // namespace
}  // namespace repng::safety
