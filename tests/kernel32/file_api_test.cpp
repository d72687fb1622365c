// The Win32 file stand-in where the overwrite's safety rests on it: share
// modes between processes, and new temporary files that stay unnamed and
// private until they take their place.
#include <signal.h>

#include <gtest/gtest.h>

#include "kernel32/file_test_support.h"
#include "platform/posix/kernel32/file_test_hooks.h"

namespace repng::testing {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE Open(const std::string& path, DWORD access, DWORD share_mode, DWORD disposition = OPEN_EXISTING,
            DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
  return CreateFileW(WidePath(path).c_str(), access, share_mode, nullptr, disposition, attributes, nullptr);
}

HANDLE CreateTemporary(const std::string& path) {
  return Open(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, CREATE_NEW,
              FILE_ATTRIBUTE_TEMPORARY);
}

bool WriteAll(HANDLE file, const std::string& bytes) {
  DWORD written = 0;
  return WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
}

struct ShareCase {
  const char* name;
  DWORD first_access, first_share, second_access, second_share;
  bool second_opens;
};

class ShareModeTest : public ::testing::TestWithParam<ShareCase> {};

// The first open is held by another process: the modes hold between them.
TEST_P(ShareModeTest, SecondOpenMeetsTheFirst) {
  const ShareCase& c = GetParam();
  ScratchFolder scratch;
  const std::string path = scratch.PathOf("shared.png");
  WriteBytes(path, "content");
  const ChildHoldingFile first(WidePath(path), c.first_access, c.first_share);
  ASSERT_TRUE(first.Opened());
  const HANDLE second = Open(path, c.second_access, c.second_share);
  EXPECT_EQ(second != INVALID_HANDLE_VALUE, c.second_opens);
  if (second != INVALID_HANDLE_VALUE) {
    CloseHandle(second);
  } else {
    EXPECT_EQ(GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
  }
  EXPECT_EQ(ReadBytes(path), "content");
}

INSTANTIATE_TEST_SUITE_P(
    Windows, ShareModeTest,
    ::testing::Values(ShareCase{"ReadersShareReading", GENERIC_READ, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ, true},
                      ShareCase{"WriterWaitsForReader", GENERIC_READ, FILE_SHARE_READ, GENERIC_WRITE, kShareAll, false},
                      ShareCase{"ReaderMustShareTheWriting", GENERIC_WRITE, kShareAll, GENERIC_READ, FILE_SHARE_READ, false},
                      ShareCase{"ExclusiveWriterShutsOut", GENERIC_WRITE, 0, GENERIC_READ, kShareAll, false},
                      ShareCase{"DeleteOnlyShareRefusesReader", GENERIC_READ, FILE_SHARE_READ, GENERIC_READ,
                                FILE_SHARE_DELETE, false},
                      ShareCase{"DeletionWaitsForReader", GENERIC_READ, FILE_SHARE_READ, DELETE, kShareAll, false},
                      ShareCase{"DeletionSharedBySizeQuery", GENERIC_READ, FILE_SHARE_DELETE, DELETE, kShareAll, true},
                      ShareCase{"AttributeOpenTakesNoPart", GENERIC_WRITE, 0, 0, 0, true}),
    [](const ::testing::TestParamInfo<ShareCase>& param) { return std::string(param.param.name); });

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

TEST(FileApiTest, TemporaryFileIsUnnamedAndPrivateUntilClosed) {
  ScratchFolder scratch;
  const std::string path = scratch.PathOf(".~new");
  const HANDLE file = CreateTemporary(path);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(scratch.Names().empty());
  // The name is spoken for all the same.
  EXPECT_EQ(CreateTemporary(path), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_EXISTS});
  ASSERT_TRUE(WriteAll(file, "content"));
  ASSERT_TRUE(CloseHandle(file));
  EXPECT_EQ(ReadBytes(path), "content");
  EXPECT_EQ(PermissionBitsOf(path), 0600u);
}

TEST(FileApiTest, TemporaryFileDeletedOrKilledBeforeItsNameLeavesNothing) {
  ScratchFolder scratch;
  const HANDLE file = CreateTemporary(scratch.PathOf(".~new"));
  ASSERT_TRUE(WriteAll(file, "content"));
  EXPECT_TRUE(DeleteFileW(WidePath(scratch.PathOf(".~new")).c_str()));
  EXPECT_TRUE(CloseHandle(file));
  const int status = RunInChild([&] {
    const HANDLE held = CreateTemporary(scratch.PathOf(".~new"));
    if (held == INVALID_HANDLE_VALUE || !WriteAll(held, std::string(100000, 'x'))) return 2;
    raise(SIGKILL);
    return 1;
  });
  EXPECT_EQ(status, 128 + SIGKILL);
  EXPECT_TRUE(scratch.Names().empty());
}

}  // namespace
}  // namespace repng::testing
