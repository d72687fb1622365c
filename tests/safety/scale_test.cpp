// Scale: peak memory does not grow with the number of files, and stays
// within a small multiple of the largest picture, up to the limits of the
// program (a file just under 100 MiB, a picture of 16384 x 16384).
#include <png.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>

#include "fileio/whole_file.h"
#include "safety/batch_support.h"

namespace repng::safety {
namespace {

// Peak memory may differ by this much between a short and a long batch.
constexpr long kMemorySlackKiB = 4096;
// The program's peak memory, in multiples of the largest picture's 32-bit
// pixels, must stay below this.
constexpr double kMaxPictureMultiple = 8.0;

struct MeasuredRun {
  int exit_status = -1;
  Report report;
  FolderVerdict verdict;
  long peak_kib = 0;
  double seconds = 0;
};

// The program on every file of the folder, checked and measured.
MeasuredRun RunMeasured(const ScratchFolder& folder) {
  const ScratchFolder logs;
  const FolderExpectation expectation = Snapshot(folder.Folder());
  Batch batch{REPNG_PROGRAM, folder.Folder(), {}, logs.PathOf("run")};
  for (const auto& [name, expected] : expectation) batch.names.push_back(name);
  MeasuredRun measured;
  const auto started = std::chrono::steady_clock::now();
  measured.exit_status = WaitForBatch(StartBatch(batch), &measured.peak_kib);
  measured.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  measured.report = ReadReport(testing::ReadBytes(batch.log), batch.names);
  measured.verdict = CheckFolder(folder.Folder(), expectation);
  return measured;
}

TEST(ScaleTest, PeakMemoryDoesNotGrowWithTheNumberOfFiles) {
  const size_t many = IsBenchRun() ? 10000 : kSanitized ? 300 : 1000;
  long peak_kib[2] = {0, 0};
  Tally tally;
  for (const size_t count : {many / 10, many}) {
    ScratchFolder folder;
    FillFolder(folder, MakeSampleBatch(count, 8));
    const MeasuredRun measured = RunMeasured(folder);
    EXPECT_EQ(measured.exit_status, 0);
    EXPECT_EQ(measured.report.finished, count);
    EXPECT_EQ(measured.verdict.problems, std::vector<std::string>{});
    peak_kib[count == many] = measured.peak_kib;
    std::printf("%zu files: %.1f s, peak %ld KiB\n", count, measured.seconds, measured.peak_kib);
    tally.inputs += count;
    tally.Add(measured.verdict);
  }
  // The sanitizers hold freed memory back for a while, so only a plain build
  // shows what the program itself keeps.
  if (!kSanitized) {
    EXPECT_LE(peak_kib[1], peak_kib[0] + kMemorySlackKiB);
  }
  RecordTally("many files", tally);
}

// Bands of colour with a gentle ramp, row by row: compresses well in every
// format, and is never held whole.
void FillRow(uint8_t* rgb, uint32_t width, uint32_t y) {
  for (uint32_t x = 0; x < width; ++x) {
    rgb[3 * x] = static_cast<uint8_t>(x / 64);
    rgb[3 * x + 1] = static_cast<uint8_t>(y / 64);
    rgb[3 * x + 2] = static_cast<uint8_t>((x / 256 + y / 256) * 16);
  }
}

void WriteLargeBmp(const std::string& path, uint32_t side) {
  const uint32_t stride = (side * 3 + 3) / 4 * 4;
  const uint32_t fields[] = {54 + stride * side, 0, 54, 40, side, side, 1 | 24 << 16, 0, 0, 0, 0, 0, 0};
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"), std::fclose);
  ASSERT_TRUE(file != nullptr && std::fwrite("BM", 1, 2, file.get()) == 2);
  ASSERT_EQ(std::fwrite(fields, 4, 13, file.get()), 13u);  // little-endian, as the format
  std::vector<uint8_t> row(stride, 0);
  for (uint32_t y = 0; y < side; ++y) {
    FillRow(row.data(), side, y);
    ASSERT_EQ(std::fwrite(row.data(), 1, stride, file.get()), stride);
  }
}

void WriteLargePng(const std::string& path, uint32_t side) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"), std::fclose);
  ASSERT_TRUE(file != nullptr);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, file.get());
  png_set_compression_level(png, 1);
  png_set_IHDR(png, info, side, side, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<uint8_t> row(size_t{side} * 3);
  for (uint32_t y = 0; y < side; ++y) {
    FillRow(row.data(), side, y);
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
}

// One large picture through the whole program: rewritten, never damaged,
// within the memory bound.
void CheckLargePicture(const std::string& name, uint32_t side, void (*write)(const std::string&, uint32_t)) {
  ScratchFolder folder;
  write(folder.PathOf(name), side);
  const MeasuredRun measured = RunMeasured(folder);
  EXPECT_EQ(measured.exit_status, 0);
  EXPECT_EQ(measured.report.rewritten, 1u);
  EXPECT_EQ(measured.verdict.problems, std::vector<std::string>{});
  const double multiple = double(measured.peak_kib) / (double(side) * side * 4 / 1024);
  std::printf("%u x %u: %.1f s, peak %ld KiB = %.2f x the picture\n", side, side, measured.seconds,
              measured.peak_kib, multiple);
  EXPECT_LT(multiple, kMaxPictureMultiple);
  Tally tally{.inputs = 1};
  tally.Add(measured.verdict);
  RecordTally("large picture " + std::to_string(side) + "x" + std::to_string(side), tally);
}

TEST(ScaleTest, AFileJustUnderTheSizeLimit) {
  // 5912 x 5912 x 3 bytes of rows plus the headers: 104,855,286 bytes.
  constexpr uint32_t kSide = 5912;
  static_assert(54 + kSide * 3 * kSide < kMaxInputFileSize);
  if (kSanitized && !IsBenchRun()) GTEST_SKIP() << "too slow under the sanitizers; bench/safety runs it";
  CheckLargePicture("large.bmp", kSide, WriteLargeBmp);
}

TEST(ScaleTest, TheLargestPicture) {
  if (!IsBenchRun()) GTEST_SKIP() << "takes minutes; bench/safety runs it";
  CheckLargePicture("vast.png", 16384, WriteLargePng);
}

}  // namespace
}  // namespace repng::safety
