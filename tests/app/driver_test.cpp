#include "app/driver/process_path_list.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "platform/posix/gdi/gdi_test_hooks.h"
#include "platform/posix/nls/path_bytes.h"
#include "fake_imaging.h"
#include "scratch_folder.h"
#include "stdout_capture.h"

namespace {

using repng::testing::FakePicture;
using repng::testing::ReadFileBytes;
using repng::testing::WriteFileBytes;

// The report's pieces in code page 936, spelt out independently of the code.
const std::string kNotImage = "\xA3\xAC\xB2\xBB\xCA\xC7\xCD\xBC\xC6\xAC\xA3\xAC\xCC\xF8\xB9\xFD\xA1\xA3\n";
const std::string kOldSize = "\xA3\xAC\xD4\xAD\xB4\xF3\xD0\xA1\xA3\xBA";
const std::string kUnknown = "\xCE\xB4\xD6\xAA";
const std::string kNewSize = "\xA3\xAC\xD0\xC2\xB4\xF3\xD0\xA1\xA3\xBA";
const std::string kEnd = "\xA1\xA3\n";
const std::string kNotProcessed = "\xA3\xAC\xB2\xBB\xB4\xA6\xC0\xED\xA1\xA3\n";
const std::string kWriteFailed =
    "\xA3\xAC\xD0\xB4\xC8\xEB\xCA\xA7\xB0\xDC\xA3\xAC\xCE\xC4\xBC\xFE\xCE\xB4\xB8\xC4\xB6\xAF\xA1\xA3\n";
const std::string kBytes = "\xD7\xD6\xBD\xDA";

std::string SkipLine(const std::string& name) { return name + kNotImage; }
std::string Head(const std::string& name, const std::string& old_size) { return name + kOldSize + old_size; }
std::string ReplacedLine(const std::string& name, const std::string& old_size, const std::string& new_size) {
  return Head(name, old_size) + kNewSize + new_size + kEnd;
}
std::string KeptLine(const std::string& name, const std::string& old_size) {
  return Head(name, old_size) + kNotProcessed;
}

class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override { live_gdi_objects_ = repng::posix::testing::LiveGdiObjectCount(); }
  void TearDown() override {
    // Every bitmap the fake made was deleted, on every road through the driver.
    EXPECT_EQ(repng::posix::testing::LiveGdiObjectCount(), live_gdi_objects_);
  }

  // Runs the batch on the given file names (as byte strings) and returns
  // what it printed.
  static std::string RunBatch(const std::vector<std::string>& names) {
    std::vector<std::u16string> arguments{u"repng"};
    for (const std::string& name : names) arguments.push_back(repng::posix::PathBytesToUtf16(name));
    std::vector<WCHAR*> argv;
    for (std::u16string& argument : arguments) argv.push_back(argument.data());
    repng::testing::StdoutCapture capture;
    EXPECT_EQ(ProcessPathList(static_cast<int>(argv.size()), argv.data()), 0);
    return capture.Finish();
  }

  repng::testing::ScratchFolder folder_;
  std::size_t live_gdi_objects_ = 0;
};

TEST_F(DriverTest, EachKindOfLineAndItsEffectOnTheFile) {
  WriteFileBytes("photo.bmp", FakePicture(100, 3000));
  WriteFileBytes("same.png", FakePicture(1100, 1100));
  WriteFileBytes("grows.png", FakePicture(2000, 1500));
  WriteFileBytes("nopng.gif", "NOPNG");
  WriteFileBytes("empty-png.jpg", FakePicture(0, 50));
  WriteFileBytes("notes.txt", "hello");
  WriteFileBytes("zero.png", "");
  std::filesystem::create_directory("folder.png");

  const std::string output = RunBatch(
      {"photo.bmp", "same.png", "grows.png", "nopng.gif", "empty-png.jpg", "notes.txt", "zero.png", "folder.png",
       "missing.png"});

  EXPECT_EQ(output, KeptLine("empty-png.jpg", "50" + kBytes) +  //
                        SkipLine("folder.png") +                     //
                        KeptLine("grows.png", "1.46K") +             //
                        SkipLine("missing.png") +                    //
                        KeptLine("nopng.gif", "5" + kBytes) +        //
                        SkipLine("notes.txt") +                      //
                        ReplacedLine("photo.bmp", "2.93K", "100" + kBytes) +
                        KeptLine("same.png", "1.07K") +  //
                        SkipLine("zero.png"));
  const std::string png_form = ReadFileBytes("photo.bmp");
  EXPECT_EQ(png_form.size(), 100u);
  EXPECT_TRUE(png_form.starts_with("IMG 100"));
  EXPECT_EQ(ReadFileBytes("same.png"), FakePicture(1100, 1100));
  EXPECT_EQ(ReadFileBytes("grows.png"), FakePicture(2000, 1500));
  EXPECT_EQ(ReadFileBytes("empty-png.jpg"), FakePicture(0, 50));
  EXPECT_EQ(ReadFileBytes("nopng.gif"), "NOPNG");
}

TEST_F(DriverTest, PathsAreSortedByOrdinalUtf16Order) {
  std::filesystem::create_directory("pics");
  std::filesystem::create_directory("pics 2");
  const std::vector<std::string> names = {"b.png",   "A.png",       "a.png",       "img2.png",
                                          "img10.png", "a.png.bak", "pics/a.png",  "pics 2/a.png",
                                          "\xE7\x85\xA7.png", "Z.png"};  // 照.png sorts after every ASCII name
  for (const std::string& name : names) WriteFileBytes(name, "not a picture");

  const std::string output = RunBatch(names);

  EXPECT_EQ(output, SkipLine("A.png") + SkipLine("Z.png") + SkipLine("a.png") + SkipLine("a.png.bak") +
                        SkipLine("b.png") + SkipLine("img10.png") + SkipLine("img2.png") + SkipLine("pics 2/a.png") +
                        SkipLine("pics/a.png") + SkipLine("\xD5\xD5.png"));
}

TEST_F(DriverTest, ADuplicatePathIsProcessedTwice) {
  WriteFileBytes("dup.bmp", FakePicture(100, 1000));

  const std::string output = RunBatch({"dup.bmp", "dup.bmp"});

  // The second pass reads the rewritten file and measures it afresh.
  EXPECT_EQ(output, ReplacedLine("dup.bmp", "1000" + kBytes, "100" + kBytes) + KeptLine("dup.bmp", "100" + kBytes));
}

TEST_F(DriverTest, AFailedOverwriteIsReportedAndLeavesTheFile) {
  WriteFileBytes("locked.bmp", FakePicture(10, 1000));
  ASSERT_EQ(chmod("locked.bmp", 0444), 0);

  const std::string output = RunBatch({"locked.bmp"});

  EXPECT_EQ(output, Head("locked.bmp", "1000" + kBytes) + kWriteFailed);
  EXPECT_EQ(ReadFileBytes("locked.bmp"), FakePicture(10, 1000));
}

TEST_F(DriverTest, AnUnknownOldSizeStopsBeforeEncoding) {
  WriteFileBytes("vanishing.bmp", "REMOVE vanishing.bmp");
  const int encodes_before = repng::testing::FakeEncodeCallCount();

  const std::string output = RunBatch({"vanishing.bmp"});

  EXPECT_EQ(output, "vanishing.bmp" + kOldSize + kUnknown + kNotProcessed);
  EXPECT_EQ(repng::testing::FakeEncodeCallCount(), encodes_before);
  EXPECT_FALSE(std::filesystem::exists("vanishing.bmp"));
}

TEST_F(DriverTest, AnOutOfMemoryFailureEndsTheBatchAndReleasesTheBitmap) {
  const std::string before_failure = FakePicture(10, 500);
  for (const char* name : {"1.bmp", "2.bmp", "4.bmp", "5.bmp"}) WriteFileBytes(name, before_failure);
  WriteFileBytes("3.bmp", "THROW-ENCODE");
  std::vector<std::u16string> arguments{u"repng", u"5.bmp", u"4.bmp", u"3.bmp", u"2.bmp", u"1.bmp"};
  std::vector<WCHAR*> argv;
  for (std::u16string& argument : arguments) argv.push_back(argument.data());

  repng::testing::StdoutCapture capture;
  EXPECT_THROW(ProcessPathList(static_cast<int>(argv.size()), argv.data()), std::bad_alloc);
  const std::string output = capture.Finish();

  // The third file's line was begun before its encoding failed.
  EXPECT_EQ(output, ReplacedLine("1.bmp", "500" + kBytes, "10" + kBytes) +
                        ReplacedLine("2.bmp", "500" + kBytes, "10" + kBytes) + Head("3.bmp", "12" + kBytes));
  EXPECT_EQ(ReadFileBytes("4.bmp"), before_failure);
  EXPECT_EQ(ReadFileBytes("5.bmp"), before_failure);
}

TEST_F(DriverTest, NoPathsPrintNothing) { EXPECT_EQ(RunBatch({}), ""); }

}  // namespace
