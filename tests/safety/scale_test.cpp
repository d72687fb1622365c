// Scale: peak memory does not grow with the number of files, and stays
// within a small multiple of the largest picture, up to the limits of the
// program (a file just under 100 MiB, a picture of 16384 x 16384).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "fileio/whole_file.h"
#include "safety/folder_check.h"
#include "safety/large_pictures.h"
#include "safety/program_lines.h"
#include "safety/program_runs.h"
#include "safety/safety_tally.h"

namespace repng::safety {
namespace {

// Peak memory may differ by this much between a short and a long batch.
constexpr long kMemorySlackKiB = 4096;
// The program's peak memory, in multiples of the largest picture's 32-bit
// pixels (width x height x 4 bytes), must stay below this.
constexpr double kMaxPictureMultiple = 8.0;
// Small pictures keep long batches short.
constexpr uint32_t kSmallSide = 8;

struct MeasuredRun {
  BatchRun run;
  long peak_kib = 0;
  double seconds = 0;
};

MeasuredRun RunMeasured(const ChildSpec& spec) {
  MeasuredRun measured;
  const auto started = std::chrono::steady_clock::now();
  measured.run.exit_status = WaitForChild(StartChild(spec), &measured.peak_kib);
  measured.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  measured.run.output = ReadText(spec.stdout_path);
  return measured;
}

TEST(ScaleTest, PeakMemoryDoesNotGrowWithTheNumberOfFiles) {
  const size_t many = IsBenchRun() ? 10000 : kSanitized ? 300 : 1000;
  long peak_kib[2] = {0, 0};
  Tally tally;
  const size_t counts[2] = {many / 10, many};
  for (int i = 0; i < 2; ++i) {
    const std::vector<SampleFile> files = MakeSampleBatch(counts[i], kSmallSide);
    BatchFolder folder;
    BatchFolder logs;
    folder.Fill(files);
    const FolderExpectation expectation = ExpectUnchangedOrRewritten(folder.Path());
    const MeasuredRun measured = RunMeasured(BatchSpec(REPNG_PROGRAM, folder.Path(), NamesOf(files), logs));
    EXPECT_EQ(measured.run.exit_status, 0);
    EXPECT_EQ(SummariseOutput(measured.run.output).finished_files, files.size());
    const FolderVerdict verdict = CheckFolder(folder.Path(), expectation);
    EXPECT_TRUE(verdict.Clean()) << ::testing::PrintToString(verdict.problems);
    peak_kib[i] = measured.peak_kib;
    std::printf("%zu files: %.1f s, peak %ld KiB\n", files.size(), measured.seconds, measured.peak_kib);
    tally.inputs += files.size();
    tally.files_checked += verdict.files_checked;
    tally.damaged += verdict.damaged + verdict.stray;
  }
  // The sanitizers hold freed memory back for a while, so only a plain build
  // shows what the program itself keeps.
  if (!kSanitized) {
    EXPECT_LE(peak_kib[1], peak_kib[0] + kMemorySlackKiB);
  }
  RecordTally("many files", tally);
}

// One large picture through the whole program: rewritten or left alone,
// never damaged, within the memory bound.
void CheckLargePicture(const std::string& name, uint32_t width, uint32_t height,
                       void (*write)(const std::string&, uint32_t, uint32_t)) {
  BatchFolder folder;
  BatchFolder logs;
  write(folder.PathOf(name), width, height);
  const FolderExpectation expectation = ExpectUnchangedOrRewritten(folder.Path());
  const MeasuredRun measured = RunMeasured(BatchSpec(REPNG_PROGRAM, folder.Path(), {name}, logs));
  EXPECT_EQ(measured.run.exit_status, 0);
  const OutputSummary summary = SummariseOutput(measured.run.output);
  EXPECT_EQ(summary.finished_files, 1u) << measured.run.output;
  EXPECT_EQ(summary.rewritten_files, 1u) << measured.run.output;
  const FolderVerdict verdict = CheckFolder(folder.Path(), expectation);
  EXPECT_TRUE(verdict.Clean()) << ::testing::PrintToString(verdict.problems);

  const double picture_kib = static_cast<double>(width) * height * 4 / 1024;
  const double multiple = static_cast<double>(measured.peak_kib) / picture_kib;
  std::printf("%u x %u: %.1f s, peak %ld KiB = %.2f x the picture\n", width, height, measured.seconds,
              measured.peak_kib, multiple);
  EXPECT_LT(multiple, kMaxPictureMultiple);
  Tally tally;
  tally.inputs = 1;
  tally.files_checked = verdict.files_checked;
  tally.damaged = verdict.damaged + verdict.stray;
  RecordTally("large picture " + std::to_string(width) + "x" + std::to_string(height), tally);
}

TEST(ScaleTest, AFileJustUnderTheSizeLimit) {
  // 5912 x 5912 x 3 bytes of rows plus the headers: 104,855,286 bytes.
  constexpr uint32_t kSide = 5912;
  static_assert(54 + kSide * 3 * kSide < kMaxInputFileSize);
  if (kSanitized && !IsBenchRun()) GTEST_SKIP() << "too slow under the sanitizers; bench/safety runs it";
  CheckLargePicture("large.bmp", kSide, kSide, WriteLargeBmp);
}

TEST(ScaleTest, TheLargestPicture) {
  if (!IsBenchRun()) GTEST_SKIP() << "takes minutes; bench/safety runs it";
  CheckLargePicture("vast.png", 16384, 16384, WriteLargePng);
}

}  // namespace
}  // namespace repng::safety
