// A fault at each step of the overwrite, through the batch as the program
// runs it: the line says the write failed, the old file is as it was, and
// nothing new is left in the folder.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <iostream>

#include "app/driver/process_path_list.h"
#include "platform/posix/kernel32/file_test_hooks.h"
#include "platform/posix/nls/path_bytes.h"
#include "safety/batch_support.h"

namespace repng::safety {
namespace {

using posix::testing::FileFault;

// "，写入失败，文件未改动。"
const std::string kWriteFailed =
    "\xA3\xAC\xD0\xB4\xC8\xEB\xCA\xA7\xB0\xDC\xA3\xAC\xCE\xC4\xBC\xFE\xCE\xB4\xB8\xC4\xB6\xAF\xA1\xA3";

constexpr std::pair<FileFault, const char*> kFaults[] = {
    {FileFault::kOpenForWriting, "open"}, {FileFault::kCreateNew, "create"},   {FileFault::kWrite, "write"},
    {FileFault::kShortWrite, "short write"}, {FileFault::kFlush, "flush"},     {FileFault::kLinkIntoFolder, "link"},
    {FileFault::kReplace, "replace"},     {FileFault::kRenameIntoPlace, "rename"},
};

// The batch on one file of the folder, in a child process that the fault
// and the choice of new files do not outlive; its standard output.
std::string RunWithFault(const ScratchFolder& folder, const std::string& name, FileFault fault, bool unnamed) {
  const ScratchFolder logs;
  const std::string log = logs.PathOf("out");
  const int status = testing::RunInChild([&] {
    posix::testing::SetUnnamedFilesAllowed(unnamed);
    posix::testing::InjectFileFault(fault);
    const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || dup2(out, STDOUT_FILENO) < 0 || chdir(folder.Folder().c_str()) != 0) return 2;
    std::u16string program = u"repng";
    std::u16string path = posix::PathBytesToUtf16(name);
    WCHAR* arguments[] = {program.data(), path.data(), nullptr};
    ProcessPathList(2, arguments);
    std::cout.flush();
    std::fflush(stdout);
    return 0;
  });
  EXPECT_EQ(status, 0);
  return testing::ReadBytes(log);
}

TEST(WriteFaultTest, EachStepFailsWithTheOldFileIntact) {
  const std::string picture = MakeBmpPicture(40, 30, 1);
  Tally tally;
  for (const bool unnamed : {true, false}) {
    for (const auto& [fault, step] : kFaults) {
      // A named new file needs no linking; a file with several names is
      // rewritten in place, with nothing to replace or rename.
      for (const bool hard_linked : {false, true}) {
        if ((fault == FileFault::kLinkIntoFolder && !unnamed) ||
            (hard_linked && (fault == FileFault::kReplace || fault == FileFault::kRenameIntoPlace)))
          continue;
        SCOPED_TRACE(std::string(step) + (unnamed ? ", unnamed" : ", named") + (hard_linked ? ", hard-linked" : ""));
        ScratchFolder folder;
        testing::WriteBytes(folder.PathOf("photo.bmp"), picture, 0640);
        if (hard_linked) {
          ASSERT_EQ(link(folder.PathOf("photo.bmp").c_str(), folder.PathOf("other.bmp").c_str()), 0);
        }
        const FolderExpectation expectation = Snapshot(folder.Folder());

        const std::string output = RunWithFault(folder, "photo.bmp", fault, unnamed);
        EXPECT_TRUE(output.starts_with("photo.bmp") && output.find(kWriteFailed) != std::string::npos) << output;
        const FolderVerdict verdict = CheckFolder(folder.Folder(), expectation);
        EXPECT_EQ(verdict.problems, std::vector<std::string>{});
        EXPECT_EQ(verdict.rewritten, 0u);
        EXPECT_EQ(testing::PermissionBitsOf(folder.PathOf("photo.bmp")), 0640u);
        ++tally.inputs;
        ++tally.faults;
        tally.Add(verdict);
      }
    }
  }
  RecordTally("write faults", tally);
}

}  // namespace
}  // namespace repng::safety
