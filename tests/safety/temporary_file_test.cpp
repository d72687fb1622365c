// New temporary files of the Win32 file stand-in: unnamed until they take
// their place, private until then, gone when the process dies.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/posix/kernel32/file_test_hooks.h"
#include "platform/posix/nls/path_bytes.h"
#include "platform/windows_api.h"
#include "safety/safety_fixture.h"
#include "text/text_types.h"

namespace repng::safety {
namespace {

using repng::posix::testing::SetUnnamedFilesAllowed;

Path Wide(const std::string& bytes) { return repng::posix::PathBytesToUtf16(bytes); }

HANDLE CreateTemporary(const std::string& name) {
  return CreateFileW(Wide(name).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                     CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY, nullptr);
}

bool Write(HANDLE file, const std::string& bytes) {
  DWORD written = 0;
  return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

mode_t ModeOf(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

bool Exists(const std::string& path) {
  struct stat status {};
  return lstat(path.c_str(), &status) == 0;
}

class TemporaryFileTest : public ::testing::Test {
 protected:
  ~TemporaryFileTest() override { SetUnnamedFilesAllowed(true); }
  BatchFolder folder_;
};

TEST_F(TemporaryFileTest, UnnamedUntilClosedThenPrivate) {
  const std::string name = folder_.PathOf(".~new");
  const HANDLE file = CreateTemporary(name);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(Exists(name));
  // The name is spoken for all the same.
  EXPECT_EQ(CreateTemporary(name), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  ASSERT_TRUE(Write(file, "content"));
  ASSERT_TRUE(CloseHandle(file));
  EXPECT_EQ(Read(name), "content");
  EXPECT_EQ(ModeOf(name), 0600u);
}

TEST_F(TemporaryFileTest, DeletedBeforeItHasANameItNeverGetsOne) {
  const std::string name = folder_.PathOf(".~new");
  const HANDLE file = CreateTemporary(name);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(Write(file, "content"));
  EXPECT_TRUE(DeleteFileW(Wide(name).c_str()));
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_TRUE(std::filesystem::is_empty(folder_.Path()));
}

TEST_F(TemporaryFileTest, ReplaceGivesTheOldNameAndPermissions) {
  for (const bool unnamed : {true, false}) {
    SetUnnamedFilesAllowed(unnamed);
    const std::string old_name = folder_.PathOf("photo.bmp");
    std::ofstream(old_name) << "old";
    ASSERT_EQ(chmod(old_name.c_str(), 0640), 0);
    const std::string name = folder_.PathOf(".~new");
    const HANDLE file = CreateTemporary(name);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    // Without unnamed files it has its name from the start, for us only.
    EXPECT_EQ(Exists(name), !unnamed);
    if (!unnamed) {
      EXPECT_EQ(ModeOf(name), 0600u);
    }
    ASSERT_TRUE(Write(file, "new"));
    ASSERT_TRUE(ReplaceFileW(Wide(old_name).c_str(), Wide(name).c_str(), nullptr, REPLACEFILE_WRITE_THROUGH, nullptr,
                             nullptr));
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(Read(old_name), "new");
    EXPECT_EQ(ModeOf(old_name), 0640u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_.Path()), {}), 1) << unnamed;
  }
}

TEST_F(TemporaryFileTest, AKilledProcessLeavesNothingBehind) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const HANDLE file = CreateTemporary(folder_.PathOf(".~new"));
    if (file == INVALID_HANDLE_VALUE || !Write(file, std::string(100000, 'x'))) _exit(2);
    raise(SIGKILL);
    _exit(1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_TRUE(std::filesystem::is_empty(folder_.Path()));
}

}  // namespace
}  // namespace repng::safety
