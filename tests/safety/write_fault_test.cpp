// A fault at each step of the overwrite, through the batch as the program
// runs it: the line says the write failed, the old file is as it was, and
// nothing new is left in the folder.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/driver/process_path_list.h"
#include "app/test_support.h"
#include "platform/posix/kernel32/file_test_hooks.h"
#include "platform/posix/nls/path_bytes.h"
#include "safety/folder_check.h"
#include "safety/safety_fixture.h"
#include "safety/safety_tally.h"

namespace repng::safety {
namespace {

using repng::posix::testing::FileFault;

// "，写入失败，文件未改动。\n"
const std::string kWriteFailedTail =
    "\xA3\xAC\xD0\xB4\xC8\xEB\xCA\xA7\xB0\xDC\xA3\xAC\xCE\xC4\xBC\xFE\xCE\xB4\xB8\xC4\xB6\xAF\xA1\xA3\n";
// "，新大小："
const std::string kNewSize = "\xA3\xAC\xD0\xC2\xB4\xF3\xD0\xA1\xA3\xBA";

struct FaultCase {
  FileFault fault;
  const char* step;
};
constexpr FaultCase kFaults[] = {
    {FileFault::kOpenForWriting, "open"},   {FileFault::kCreateNew, "create"},
    {FileFault::kWrite, "write"},           {FileFault::kShortWrite, "short write"},
    {FileFault::kFlush, "flush"},           {FileFault::kLinkIntoFolder, "link"},
    {FileFault::kReplace, "replace"},       {FileFault::kRenameIntoPlace, "rename"},
};

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

mode_t ModeOf(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

// Runs the batch on the names, from inside the folder; its standard output.
std::string RunBatch(const std::string& folder, const std::vector<std::string>& names) {
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  std::vector<std::u16string> wide = {u"repng"};
  for (const std::string& name : names) wide.push_back(repng::posix::PathBytesToUtf16(name));
  std::vector<WCHAR*> argv;
  for (std::u16string& argument : wide) argv.push_back(argument.data());
  argv.push_back(nullptr);
  repng::testing::StdoutCapture capture;
  ProcessPathList(static_cast<int>(wide.size()), argv.data());
  const std::string output = capture.Finish();
  std::filesystem::current_path(previous);
  return output;
}

class WriteFaultTest : public ::testing::Test {
 protected:
  ~WriteFaultTest() override {
    repng::posix::testing::ClearFileFaults();
    repng::posix::testing::SetUnnamedFilesAllowed(true);
  }
  const std::string picture_ = MakeBmpPicture(40, 30, 1);
  Tally tally_;
};

TEST_F(WriteFaultTest, EachStepFailsWithTheOldFileIntact) {
  for (const bool unnamed : {true, false}) {
    repng::posix::testing::SetUnnamedFilesAllowed(unnamed);
    for (const FaultCase& fault : kFaults) {
      // A named new file never needs linking.
      if (fault.fault == FileFault::kLinkIntoFolder && !unnamed) continue;
      SCOPED_TRACE(std::string(fault.step) + (unnamed ? ", unnamed" : ", named"));
      BatchFolder folder;
      folder.Fill({{"photo.bmp", picture_}});
      ASSERT_EQ(chmod(folder.PathOf("photo.bmp").c_str(), 0640), 0);

      repng::posix::testing::InjectFileFault(fault.fault);
      const std::string output = RunBatch(folder.Path(), {"photo.bmp"});
      repng::posix::testing::ClearFileFaults();

      ASSERT_GE(output.size(), kWriteFailedTail.size());
      EXPECT_EQ(output.substr(0, 9), "photo.bmp");
      EXPECT_EQ(output.substr(output.size() - kWriteFailedTail.size()), kWriteFailedTail);
      EXPECT_EQ(Read(folder.PathOf("photo.bmp")), picture_);
      EXPECT_EQ(ModeOf(folder.PathOf("photo.bmp")), 0640u);
      EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 1);
      ++tally_.faults;
      ++tally_.files_checked;
    }
  }
  RecordTally("write faults", tally_);
}

// Its new content goes over the old in place, but only after a complete
// copy is on disk: a fault before that changes nothing, in either name.
TEST_F(WriteFaultTest, HardLinkedFileKeepsBothNamesIntact) {
  for (const FaultCase& fault : kFaults) {
    if (fault.fault == FileFault::kReplace || fault.fault == FileFault::kRenameIntoPlace) continue;
    SCOPED_TRACE(fault.step);
    BatchFolder folder;
    folder.Fill({{"photo.bmp", picture_}});
    ASSERT_EQ(link(folder.PathOf("photo.bmp").c_str(), folder.PathOf("other.bmp").c_str()), 0);

    repng::posix::testing::InjectFileFault(fault.fault);
    const std::string output = RunBatch(folder.Path(), {"photo.bmp"});
    repng::posix::testing::ClearFileFaults();

    EXPECT_EQ(output.substr(output.size() - std::min(output.size(), kWriteFailedTail.size())), kWriteFailedTail);
    EXPECT_EQ(Read(folder.PathOf("photo.bmp")), picture_);
    EXPECT_EQ(Read(folder.PathOf("other.bmp")), picture_);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 2);
  }
}

TEST_F(WriteFaultTest, NamesNearTheLengthLimitAreRewritten) {
  for (const bool unnamed : {true, false}) {
    repng::posix::testing::SetUnnamedFilesAllowed(unnamed);
    const std::string name = std::string(251, 'n') + ".bmp";  // 255 bytes
    BatchFolder folder;
    folder.Fill({{name, picture_}});
    const std::string output = RunBatch(folder.Path(), {name});
    EXPECT_NE(output.find(kNewSize), std::string::npos) << unnamed;
    EXPECT_TRUE(IsSamePictureAsPng(picture_, Read(folder.PathOf(name))));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 1);
  }
}

}  // namespace
}  // namespace repng::safety
