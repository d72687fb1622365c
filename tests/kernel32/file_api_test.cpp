// The Win32 file stand-in where the overwrite's safety rests on it: share
// modes between processes, and new temporary files that stay unnamed and
// private until they take their place.
#include <gtest/gtest.h>

#include "kernel32/file_test_support.h"

namespace repng::testing {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE CreateTemporary(const std::string& path) {
  return CreateFileW(WidePath(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                     CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY, nullptr);
}

// The first open is held by another process: the modes hold between them.
TEST(FileApiTest, SecondOpenMeetsTheShareModeOfAnotherProcess) {
  const struct {
    const char* name;
    DWORD first_access, first_share, second_access, second_share;
    bool second_opens;
  } cases[] = {
      {"readers share reading", GENERIC_READ, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ, true},
      {"writer waits for reader", GENERIC_READ, FILE_SHARE_READ, GENERIC_WRITE, kShareAll, false},
      {"reader must share the writing", GENERIC_WRITE, kShareAll, GENERIC_READ, FILE_SHARE_READ, false},
      {"exclusive writer shuts out", GENERIC_WRITE, 0, GENERIC_READ, kShareAll, false},
      {"delete-only share refuses reader", GENERIC_READ, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_DELETE, false},
      {"deletion waits for reader", GENERIC_READ, FILE_SHARE_READ, DELETE, kShareAll, false},
      {"deletion shared by size query", GENERIC_READ, FILE_SHARE_DELETE, DELETE, kShareAll, true},
      {"attribute open takes no part", GENERIC_WRITE, 0, 0, 0, true},
  };
  ScratchFolder scratch;
  const std::string path = scratch.PathOf("shared.png");
  WriteBytes(path, "content");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ChildHoldingFile first(WidePath(path), c.first_access, c.first_share);
    ASSERT_TRUE(first.Opened());
    const HANDLE second =
        CreateFileW(WidePath(path).c_str(), c.second_access, c.second_share, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(second != INVALID_HANDLE_VALUE, c.second_opens);
    if (second != INVALID_HANDLE_VALUE) {
      CloseHandle(second);
    } else {
      EXPECT_EQ(GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
    }
  }
  EXPECT_EQ(ReadBytes(path), "content");
}

TEST(FileApiTest, ReplaceWaitsForReadersOfTheOldFile) {
  ScratchFolder scratch;
  const Path old_path = WidePath(scratch.PathOf("picture.png"));
  const Path new_path = WidePath(scratch.PathOf("picture.new"));
  WriteBytes(scratch.PathOf("picture.png"), "old");
  WriteBytes(scratch.PathOf("picture.new"), "new");
  {
    const ChildHoldingFile reader(old_path, GENERIC_READ, FILE_SHARE_READ);
    ASSERT_TRUE(reader.Opened());
    EXPECT_FALSE(ReplaceFileW(old_path.c_str(), new_path.c_str(), nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
  }
  EXPECT_EQ(ReadBytes(scratch.PathOf("picture.png")), "old");
  EXPECT_TRUE(ReplaceFileW(old_path.c_str(), new_path.c_str(), nullptr, 0, nullptr, nullptr));
  EXPECT_EQ(scratch.Names(), std::vector<std::string>{"picture.png"});
}

// Unnamed and private until closed, so that a process killed before then
// leaves nothing behind.
TEST(FileApiTest, TemporaryFileTakesItsNameOnlyWhenClosed) {
  ScratchFolder scratch;
  const std::string path = scratch.PathOf(".~new");
  const HANDLE file = CreateTemporary(path);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(scratch.Names().empty());
  // The name is spoken for all the same.
  EXPECT_EQ(CreateTemporary(path), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_EXISTS});
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file, "content", 7, &written, nullptr) && written == 7);
  ASSERT_TRUE(CloseHandle(file));
  EXPECT_EQ(ReadBytes(path), "content");
  EXPECT_EQ(PermissionBitsOf(path), 0600u);
}

}  // namespace
}  // namespace repng::testing
