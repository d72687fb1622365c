#include "app/driver/process_path_list.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "fake_imaging.h"
#include "platform/posix/gdi/gdi_test_hooks.h"
#include "platform/posix/nls/path_bytes.h"
#include "test_support.h"

namespace {

using repng::testing::FakePicture;
using repng::testing::ReadFileBytes;
using repng::testing::WriteFileBytes;

// The report's pieces in code page 936, spelt out apart from the code.
const std::string kNotImage = "\xA3\xAC\xB2\xBB\xCA\xC7\xCD\xBC\xC6\xAC\xA3\xAC\xCC\xF8\xB9\xFD\xA1\xA3\n";
const std::string kOldSize = "\xA3\xAC\xD4\xAD\xB4\xF3\xD0\xA1\xA3\xBA";
const std::string kNewSize = "\xA3\xAC\xD0\xC2\xB4\xF3\xD0\xA1\xA3\xBA";
const std::string kNotProcessed = "\xA3\xAC\xB2\xBB\xB4\xA6\xC0\xED\xA1\xA3\n";
const std::string kWriteFailed =
    "\xA3\xAC\xD0\xB4\xC8\xEB\xCA\xA7\xB0\xDC\xA3\xAC\xCE\xC4\xBC\xFE\xCE\xB4\xB8\xC4\xB6\xAF\xA1\xA3\n";
const std::string kUnknown = "\xCE\xB4\xD6\xAA";
const std::string kBytes = "\xD7\xD6\xBD\xDA";

std::string Skipped(const std::string& name) { return name + kNotImage; }
std::string Head(const std::string& name, const std::string& old_size) { return name + kOldSize + old_size; }
std::string Kept(const std::string& name, const std::string& old_size) { return Head(name, old_size) + kNotProcessed; }
std::string Replaced(const std::string& name, const std::string& old_size, const std::string& new_size) {
  return Head(name, old_size) + kNewSize + new_size + "\xA1\xA3\n";
}

class DriverTest : public ::testing::Test {
 protected:
  // Every bitmap made was deleted, whichever way its file went.
  void TearDown() override { EXPECT_EQ(repng::posix::testing::LiveGdiObjectCount(), live_gdi_objects_); }

  // Runs the batch on file names given as bytes; returns what it printed.
  static std::string RunBatch(const std::vector<std::string>& names) {
    std::vector<std::u16string> arguments{u"repng"};
    for (const std::string& name : names) arguments.push_back(repng::posix::PathBytesToUtf16(name));
    std::vector<WCHAR*> argv;
    for (std::u16string& argument : arguments) argv.push_back(argument.data());
    repng::testing::StdoutCapture capture;
    ProcessPathList(static_cast<int>(argv.size()), argv.data());
    return capture.Finish();
  }

  repng::testing::ScratchFolder folder_;
  std::size_t live_gdi_objects_ = repng::posix::testing::LiveGdiObjectCount();
};

TEST_F(DriverTest, EachKindOfLineAndWhatItDoesToTheFile) {
  WriteFileBytes("photo.bmp", FakePicture(100, 3000));
  WriteFileBytes("same.png", FakePicture(1100, 1100));
  WriteFileBytes("grows.png", FakePicture(2000, 1500));
  WriteFileBytes("no-png.gif", FakePicture(0, 50));
  WriteFileBytes("notes.txt", "hello");
  WriteFileBytes("zero.png", "");
  std::filesystem::create_directory("folder.png");

  EXPECT_EQ(RunBatch({"photo.bmp", "same.png", "grows.png", "no-png.gif", "notes.txt", "zero.png", "folder.png",
                      "missing.png"}),
            Skipped("folder.png") + Kept("grows.png", "1.46K") + Skipped("missing.png") + Kept("no-png.gif", "50" + kBytes) +
                Skipped("notes.txt") + Replaced("photo.bmp", "2.93K", "100" + kBytes) + Kept("same.png", "1.07K") +
                Skipped("zero.png"));
  EXPECT_EQ(ReadFileBytes("photo.bmp").size(), 100u);
  EXPECT_EQ(ReadFileBytes("same.png"), FakePicture(1100, 1100));
  EXPECT_EQ(ReadFileBytes("grows.png"), FakePicture(2000, 1500));
  EXPECT_EQ(ReadFileBytes("no-png.gif"), FakePicture(0, 50));
}

TEST_F(DriverTest, PathsGoInOrdinalUtf16Order) {
  std::filesystem::create_directory("pics");
  std::filesystem::create_directory("pics 2");
  const std::vector<std::string> names = {"b.png",     "A.png",      "a.png",        "img2.png", "img10.png",
                                          "a.png.bak", "pics/a.png", "pics 2/a.png", "\xE7\x85\xA7.png"};  // 照.png
  for (const std::string& name : names) WriteFileBytes(name, "not a picture");

  EXPECT_EQ(RunBatch(names), Skipped("A.png") + Skipped("a.png") + Skipped("a.png.bak") + Skipped("b.png") +
                                 Skipped("img10.png") + Skipped("img2.png") + Skipped("pics 2/a.png") +
                                 Skipped("pics/a.png") + Skipped("\xD5\xD5.png"));
}

TEST_F(DriverTest, ADuplicatePathIsProcessedAgainFromTheRewrittenFile) {
  WriteFileBytes("dup.bmp", FakePicture(100, 1000));

  EXPECT_EQ(RunBatch({"dup.bmp", "dup.bmp"}),
            Replaced("dup.bmp", "1000" + kBytes, "100" + kBytes) + Kept("dup.bmp", "100" + kBytes));
}

TEST_F(DriverTest, FileSystemFailuresAreReportedAndChangeNothing) {
  WriteFileBytes("read-only.bmp", FakePicture(10, 1000));
  ASSERT_EQ(chmod("read-only.bmp", 0444), 0);
  WriteFileBytes("vanishing.bmp", "REMOVE vanishing.bmp");
  WriteFileBytes("saved-meanwhile.bmp", "SAVE-OVER saved-meanwhile.bmp");
  const int encodes_before = repng::testing::FakeEncodeCallCount();

  EXPECT_EQ(RunBatch({"read-only.bmp", "vanishing.bmp", "saved-meanwhile.bmp"}),
            Head("read-only.bmp", "1000" + kBytes) + kWriteFailed + Head("saved-meanwhile.bmp", "29" + kBytes) +
                kWriteFailed + Head("vanishing.bmp", kUnknown) + kNotProcessed);
  EXPECT_EQ(ReadFileBytes("read-only.bmp"), FakePicture(10, 1000));
  // Another program's save since the read is not replaced by the older picture.
  EXPECT_EQ(ReadFileBytes("saved-meanwhile.bmp"), repng::testing::kOtherProgramsSave);
  // A file whose size is unknown is not even encoded.
  EXPECT_EQ(repng::testing::FakeEncodeCallCount(), encodes_before + 2);
}

TEST_F(DriverTest, AnOutOfMemoryFailureLeavesTheDriverAndTheRestOfTheList) {
  const std::string picture = FakePicture(10, 500);
  for (const char* name : {"1.bmp", "2.bmp", "4.bmp", "5.bmp"}) WriteFileBytes(name, picture);
  WriteFileBytes("3.bmp", "THROW-ENCODE");

  repng::testing::StdoutCapture capture;
  std::u16string arguments[] = {u"repng", u"5.bmp", u"4.bmp", u"3.bmp", u"2.bmp", u"1.bmp"};
  WCHAR* argv[] = {arguments[0].data(), arguments[1].data(), arguments[2].data(),
                   arguments[3].data(), arguments[4].data(), arguments[5].data()};
  EXPECT_THROW(ProcessPathList(6, argv), std::bad_alloc);

  // The third file's line was begun before its encoding failed.
  EXPECT_EQ(capture.Finish(), Replaced("1.bmp", "500" + kBytes, "10" + kBytes) +
                                  Replaced("2.bmp", "500" + kBytes, "10" + kBytes) + Head("3.bmp", "12" + kBytes));
  EXPECT_EQ(ReadFileBytes("4.bmp"), picture);
  EXPECT_EQ(ReadFileBytes("5.bmp"), picture);
}

}  // namespace
