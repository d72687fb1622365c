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

// The program on every file of the folder, timed: it ends well and damages
// nothing. Gives its report and its peak memory.
Report RunMeasured(const ScratchFolder& folder, const std::string& part, long& peak_kib) {
  const ScratchFolder logs;
  const FolderExpectation expectation = Snapshot(folder.Folder());
  const Batch batch = BatchOnFolder(REPNG_PROGRAM, folder, logs);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitForBatch(StartBatch(batch), &peak_kib), 0);
  const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - started;
  std::printf("%s: %.1f s, peak %ld KiB\n", part.c_str(), seconds.count(), peak_kib);
  const Report report = ReadReport(batch);
  EXPECT_EQ(report.finished, batch.names.size());
  Tally tally{.inputs = batch.names.size()};
  EXPECT_EQ(CheckFolder(folder.Folder(), expectation, tally), std::vector<std::string>{});
  RecordTally(part, tally);
  return report;
}

TEST(ScaleTest, PeakMemoryDoesNotGrowWithTheNumberOfFiles) {
  const size_t many = IsBenchRun() ? 10000 : kSanitized ? 300 : 1000;
  long peak_kib[2] = {0, 0};
  for (const size_t count : {many / 10, many}) {
    ScratchFolder folder;
    FillFolder(folder, MakeSampleBatch(count, 8));
    RunMeasured(folder, std::to_string(count) + " files", peak_kib[count == many]);
  }
  // The sanitizers hold freed memory back for a while, so only a plain build
  // shows what the program itself keeps; 4 MiB is slack.
  if (!kSanitized) {
    EXPECT_LE(peak_kib[1], peak_kib[0] + 4096);
  }
}

// Bands of colour with a gentle ramp, written row by row (never held
// whole): a 24-bit BMP, or a quickly compressed PNG.
void WriteLargePicture(const std::string& path, uint32_t side, bool png) {
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"), std::fclose);
  ASSERT_TRUE(file != nullptr);
  const uint32_t stride = png ? side * 3 : (side * 3 + 3) / 4 * 4;
  png_structp writer = png ? png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr) : nullptr;
  png_infop info = png ? png_create_info_struct(writer) : nullptr;
  if (png) {
    png_init_io(writer, file.get());
    png_set_compression_level(writer, 1);
    png_set_IHDR(writer, info, side, side, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(writer, info);
  } else {
    const uint32_t fields[] = {54 + stride * side, 0, 54, 40, side, side, 1 | 24 << 16, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(std::fwrite("BM", 1, 2, file.get()), 2u);
    ASSERT_EQ(std::fwrite(fields, 4, 13, file.get()), 13u);  // little-endian, as the format
  }
  std::vector<uint8_t> row(stride, 0);
  for (uint32_t y = 0; y < side; ++y) {
    for (uint32_t x = 0; x < side; ++x) {
      row[3 * x] = static_cast<uint8_t>(x / 64);
      row[3 * x + 1] = static_cast<uint8_t>(y / 64);
      row[3 * x + 2] = static_cast<uint8_t>((x / 256 + y / 256) * 16);
    }
    if (png) png_write_row(writer, row.data());
    else ASSERT_EQ(std::fwrite(row.data(), 1, stride, file.get()), stride);
  }
  if (png) png_write_end(writer, nullptr);
  png_destroy_write_struct(&writer, &info);
}

// One large picture through the whole program: rewritten within 4.75 times
// the picture's 32-bit pixels. Both pictures peak at about 4.3 times; one
// more copy of their RGB rows (0.75 times) must not go by.
void CheckLargePicture(const std::string& name, uint32_t side) {
  ScratchFolder folder;
  WriteLargePicture(folder.PathOf(name), side, name.ends_with(".png"));
  long peak_kib = 0;
  const std::string part = "large picture " + std::to_string(side) + "x" + std::to_string(side);
  EXPECT_EQ(RunMeasured(folder, part, peak_kib).rewritten, 1u);
  const double multiple = double(peak_kib) / (double(side) * side * 4 / 1024);
  std::printf("%u x %u: peak %ld KiB = %.2f x the picture\n", side, side, peak_kib, multiple);
  EXPECT_LE(multiple, 4.75);
}

TEST(ScaleTest, AFileJustUnderTheSizeLimit) {
  // 5912 x 5912 x 3 bytes of rows plus the headers: 104,855,286 bytes.
  constexpr uint32_t kSide = 5912;
  static_assert(54 + kSide * 3 * kSide < kMaxInputFileSize);
  if (kSanitized && !IsBenchRun()) GTEST_SKIP() << "too slow under the sanitizers; bench/safety runs it";
  CheckLargePicture("large.bmp", kSide);
}

TEST(ScaleTest, TheLargestPicture) {
  if (!IsBenchRun()) GTEST_SKIP() << "takes minutes; bench/safety runs it";
  CheckLargePicture("vast.png", 16384);
}

}  // namespace
}  // namespace repng::safety
