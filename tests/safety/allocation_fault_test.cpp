// An allocation failure at each allocation of a batch in turn: the program
// reports the crash (or absorbs the failure and finishes), exits with 0, and
// every file holds its old bytes or a complete PNG of the same picture.
#include <gtest/gtest.h>

#include <cstdio>

#include "safety/folder_check.h"
#include "safety/program_lines.h"
#include "safety/program_runs.h"
#include "safety/safety_tally.h"

namespace repng::safety {
namespace {

// Runs that CI can afford; bench/safety tries every allocation.
constexpr size_t kQuickRuns = kSanitized ? 30 : 60;
// More allocations than this in a batch of five small files is a fault of
// its own.
constexpr size_t kMaxSites = 200000;

struct Counted {
  unsigned long long allocations = 0;
  int failed = -1;
};

Counted CountedOf(const std::string& errors) {
  Counted counted;
  const size_t at = errors.rfind("allocations ");
  if (at != std::string::npos)
    std::sscanf(errors.c_str() + at, "allocations %llu failed %d", &counted.allocations, &counted.failed);
  return counted;
}

// All of the first sites (where the batch sets itself up), then an even
// spread over the rest.
std::vector<size_t> SitesToTry(size_t sites) {
  std::vector<size_t> chosen;
  if (IsBenchRun() || sites <= kQuickRuns) {
    for (size_t n = 1; n <= sites; ++n) chosen.push_back(n);
    return chosen;
  }
  const size_t leading = kQuickRuns / 2;
  for (size_t n = 1; n <= leading; ++n) chosen.push_back(n);
  const size_t rest = kQuickRuns - leading;
  for (size_t i = 1; i <= rest; ++i) chosen.push_back(leading + (sites - leading) * i / rest);
  return chosen;
}

TEST(AllocationFaultTest, EachAllocationOfABatchFailsInTurn) {
  const std::vector<SampleFile> files = MakeSampleBatch(5);  // BMP, PNG, GIF, damaged PNG, text
  const std::set<std::string> names = NameSetOf(files);
  BatchFolder folder;
  BatchFolder logs;
  ChildSpec spec = BatchSpec(REPNG_FAILING_ALLOCATIONS_PROGRAM, folder.Path(), NamesOf(files), logs);

  folder.Fill(files);
  const BatchRun reference = RunToEnd(spec);
  const Counted total = CountedOf(reference.errors);
  ASSERT_EQ(total.failed, 0) << reference.errors;
  ASSERT_GT(total.allocations, 0u);
  ASSERT_LT(total.allocations, kMaxSites);
  EXPECT_EQ(SummariseOutput(reference.output).finished_files, files.size());
  std::printf("allocation sites in the batch: %llu\n", total.allocations);

  Tally tally;
  for (const size_t site : SitesToTry(total.allocations)) {
    SCOPED_TRACE("allocation " + std::to_string(site));
    folder.Fill(files);
    const FolderExpectation expectation = ExpectUnchangedOrRewritten(folder.Path());
    spec.extra_environment = {"REPNG_FAIL_ALLOCATION=" + std::to_string(site)};
    const BatchRun run = RunToEnd(spec);

    EXPECT_EQ(run.exit_status, 0) << run.errors;
    EXPECT_EQ(ForeignLines(run.output, names), std::vector<std::string>{});
    const OutputSummary summary = SummariseOutput(run.output);
    EXPECT_TRUE(summary.crashed || summary.finished_files == files.size()) << run.output;
    const FolderVerdict verdict = CheckFolder(folder.Path(), expectation);
    EXPECT_TRUE(verdict.Clean()) << ::testing::PrintToString(verdict.problems);

    tally.inputs += files.size();
    tally.faults += CountedOf(run.errors).failed == 1 ? 1 : 0;
    tally.files_checked += verdict.files_checked;
    tally.damaged += verdict.damaged + verdict.stray;
  }
  RecordTally("allocation faults", tally);
}

}  // namespace
}  // namespace repng::safety
