#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "kernel32/file_test_support.h"
#include "platform/windows_api.h"

namespace repng::testing {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE Open(const std::string& path, DWORD access, DWORD share_mode, DWORD disposition = OPEN_EXISTING) {
  return CreateFileW(WidePath(path).c_str(), access, share_mode, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The handle, or the error of the failed open.
struct OpenOutcome {
  HANDLE handle;
  DWORD error;
};
OpenOutcome TryOpen(const std::string& path, DWORD access, DWORD share_mode, DWORD disposition = OPEN_EXISTING) {
  const HANDLE handle = Open(path, access, share_mode, disposition);
  return {handle, handle == INVALID_HANDLE_VALUE ? GetLastError() : DWORD{ERROR_SUCCESS}};
}

class FileApiTest : public ::testing::Test {
 protected:
  ScratchFolder scratch_;
};

TEST_F(FileApiTest, FoldersAndMissingNamesAreNotFiles) {
  for (const DWORD access : {static_cast<DWORD>(GENERIC_READ), static_cast<DWORD>(GENERIC_WRITE)}) {
    EXPECT_EQ(TryOpen(scratch_.Folder(), access, FILE_SHARE_READ).error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  }
  EXPECT_EQ(TryOpen(scratch_.PathOf("missing.png"), GENERIC_READ, FILE_SHARE_READ).error,
            static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(TryOpen(scratch_.PathOf("no/such.png"), GENERIC_READ, FILE_SHARE_READ).error,
            static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  // A named pipe would block an ordinary open; it is refused at once.
  ASSERT_EQ(mkfifo(scratch_.PathOf("fifo").c_str(), 0644), 0);
  EXPECT_EQ(TryOpen(scratch_.PathOf("fifo"), GENERIC_READ, FILE_SHARE_READ).error,
            static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(FileApiTest, FileWithoutWriteBitsIsReadOnlyEvenForRoot) {
  const std::string path = scratch_.PathOf("locked.png");
  WriteBytes(path, "old content", 0444);
  EXPECT_EQ(GetFileAttributesW(WidePath(path).c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(TryOpen(path, GENERIC_WRITE, 0).error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(TryOpen(path, GENERIC_WRITE, 0, CREATE_ALWAYS).error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(DeleteFileW(WidePath(path).c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(ReadBytes(path), "old content");

  const HANDLE reader = Open(path, GENERIC_READ, FILE_SHARE_READ);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(reader));
}

struct ShareCase {
  const char* name;
  DWORD first_access;
  DWORD first_share;
  DWORD second_access;
  DWORD second_share;
  bool second_opens;
};

void PrintTo(const ShareCase& c, std::ostream* out) { *out << c.name; }

class ShareModeTest : public FileApiTest, public ::testing::WithParamInterface<ShareCase> {};

TEST_P(ShareModeTest, SecondOpenMeetsTheFirst) {
  const ShareCase& c = GetParam();
  const std::string path = scratch_.PathOf("shared.png");
  WriteBytes(path, "content");
  const HANDLE first = Open(path, c.first_access, c.first_share);
  ASSERT_NE(first, INVALID_HANDLE_VALUE);
  const OpenOutcome second = TryOpen(path, c.second_access, c.second_share);
  EXPECT_EQ(second.handle != INVALID_HANDLE_VALUE, c.second_opens);
  if (second.handle != INVALID_HANDLE_VALUE) {
    EXPECT_TRUE(CloseHandle(second.handle));
  } else {
    EXPECT_EQ(second.error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  }
  EXPECT_TRUE(CloseHandle(first));
}

INSTANTIATE_TEST_SUITE_P(
    Windows, ShareModeTest,
    ::testing::Values(ShareCase{"ReadersShareReading", GENERIC_READ, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ, true},
                      ShareCase{"WriterWaitsForReader", GENERIC_READ, FILE_SHARE_READ, GENERIC_WRITE, kShareAll, false},
                      ShareCase{"ReaderMustShareTheWriting", GENERIC_WRITE, kShareAll, GENERIC_READ, FILE_SHARE_READ,
                                false},
                      ShareCase{"ExclusiveWriterShutsOut", GENERIC_WRITE, 0, GENERIC_READ, kShareAll, false},
                      ShareCase{"DeleteOnlyShareRefusesReader", GENERIC_READ, FILE_SHARE_READ, GENERIC_READ,
                                FILE_SHARE_DELETE, false},
                      ShareCase{"DeletionWaitsForReader", GENERIC_READ, FILE_SHARE_READ, DELETE, kShareAll, false},
                      ShareCase{"DeletionSharedBySizeQuery", GENERIC_READ, FILE_SHARE_DELETE, DELETE, kShareAll, true},
                      ShareCase{"AttributeOpenTakesNoPart", GENERIC_WRITE, 0, 0, 0, true}),
    [](const ::testing::TestParamInfo<ShareCase>& param) { return std::string(param.param.name); });

TEST_F(FileApiTest, RefusedTruncatingOpenTruncatesNothing) {
  const std::string path = scratch_.PathOf("held.png");
  WriteBytes(path, "content that must survive");
  const HANDLE reader = Open(path, GENERIC_READ, FILE_SHARE_READ);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  EXPECT_EQ(TryOpen(path, GENERIC_WRITE, 0, CREATE_ALWAYS).error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(DeleteFileW(WidePath(path).c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  CloseHandle(reader);
  EXPECT_EQ(ReadBytes(path), "content that must survive");
}

TEST_F(FileApiTest, HandlesAreCheckedNotTrusted) {
  const std::string path = scratch_.PathOf("x.bin");
  WriteBytes(path, "x");
  const HANDLE file = Open(path, GENERIC_READ, FILE_SHARE_READ);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD count = 99;
  EXPECT_FALSE(WriteFile(file, "y", 1, &count, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(count, 0u);
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_FALSE(CloseHandle(file));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  DWORD high = 7;
  EXPECT_EQ(GetFileSize(INVALID_HANDLE_VALUE, &high), INVALID_FILE_SIZE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(ReadBytes(path), "x");
}

TEST_F(FileApiTest, NamesAreBytesWithoutTranslation) {
  // Not UTF-8, and a backslash that is part of the name, not a separator.
  const std::string odd = scratch_.PathOf("caf\xE9 \xFF\\x.png");
  const HANDLE file = Open(odd, GENERIC_WRITE, 0, CREATE_NEW);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(scratch_.Names(), std::vector<std::string>{"caf\xE9 \xFF\\x.png"});

  WCHAR too_small[4];
  const DWORD needed = GetFinalPathNameByHandleW(file, too_small, 4, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  ASSERT_GT(needed, 4u);
  Path final_path(needed, u'\0');
  const DWORD length =
      GetFinalPathNameByHandleW(file, final_path.data(), needed, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  EXPECT_EQ(length, needed - 1);
  final_path.resize(length);
  EXPECT_EQ(final_path, WidePath(std::filesystem::canonical(odd).string()));
  CloseHandle(file);

  EXPECT_EQ(TryOpen(scratch_.PathOf("caf\xE9 \xFF"), GENERIC_READ, 0).error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  // A lone surrogate that stands for no byte names nothing.
  const WCHAR unnamed[] = {u'a', 0xD800, u'\0'};
  EXPECT_EQ(CreateFileW(unnamed, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
}

TEST_F(FileApiTest, ReplaceKeepsPermissionsAndRespectsSharing) {
  const std::string old_path = scratch_.PathOf("picture.png");
  const std::string new_path = scratch_.PathOf("picture.new");
  WriteBytes(old_path, "old", 0640);
  WriteBytes(new_path, "new", 0600);
  {
    ChildHoldingFile reader(WidePath(old_path), GENERIC_READ, FILE_SHARE_READ);
    ASSERT_TRUE(reader.Opened());
    EXPECT_FALSE(ReplaceFileW(WidePath(old_path).c_str(), WidePath(new_path).c_str(), nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  }
  EXPECT_EQ(ReadBytes(old_path), "old");

  ASSERT_TRUE(ReplaceFileW(WidePath(old_path).c_str(), WidePath(new_path).c_str(), nullptr,
                           REPLACEFILE_WRITE_THROUGH, nullptr, nullptr));
  EXPECT_EQ(ReadBytes(old_path), "new");
  EXPECT_EQ(PermissionBitsOf(old_path), 0640u);
  EXPECT_EQ(scratch_.Names(), std::vector<std::string>{"picture.png"});
}

}  // namespace
}  // namespace repng::testing
