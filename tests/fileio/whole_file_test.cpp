#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "fileio/whole_file.h"
#include "kernel32/file_test_support.h"

namespace repng::testing {
namespace {

const BYTE* BytesOf(const std::string& text) { return reinterpret_cast<const BYTE*>(text.data()); }
int LengthOf(const std::string& text) { return static_cast<int>(text.size()); }

std::string ContentOf(const FileBytes& bytes) {
  return std::string(reinterpret_cast<const char*>(bytes.data.get()), bytes.count);
}

class WholeFileTest : public ::testing::Test {
 protected:
  Path Wide(const std::string& name) const { return WidePath(scratch_.PathOf(name)); }
  ScratchFolder scratch_;
};

TEST_F(WholeFileTest, EmptyFileIsAnEmptyBuffer) {
  WriteBytes(scratch_.PathOf("empty.png"), "");
  const std::optional<FileBytes> empty = ReadWholeFile(Wide("empty.png"));
  ASSERT_TRUE(empty.has_value());
  EXPECT_EQ(empty->count, 0u);
  EXPECT_EQ(empty->data[0], 0);
}

TEST_F(WholeFileTest, ReadsOnlyBelowTheSizeLimit) {
  MakeSparseFile(scratch_.PathOf("largest.bmp"), kMaxInputFileSize - 1, 'L');
  const std::optional<FileBytes> largest = ReadWholeFile(Wide("largest.bmp"));
  ASSERT_TRUE(largest.has_value());
  EXPECT_EQ(largest->count, kMaxInputFileSize - 1);
  EXPECT_EQ(largest->data[kMaxInputFileSize - 2], 'L');
  EXPECT_EQ(largest->data[kMaxInputFileSize - 1], 0);

  MakeSparseFile(scratch_.PathOf("limit.bmp"), kMaxInputFileSize, 'L');
  EXPECT_FALSE(ReadWholeFile(Wide("limit.bmp")).has_value());
  // Its low 32 bits alone would pass for a 100-byte file.
  MakeSparseFile(scratch_.PathOf("huge.bmp"), (off_t{1} << 32) + 100, 'L');
  EXPECT_FALSE(ReadWholeFile(Wide("huge.bmp")).has_value());
  EXPECT_FALSE(QueryFileSize(Wide("huge.bmp")).has_value());
}

TEST_F(WholeFileTest, WhatIsNoReadableFileGivesNothing) {
  ASSERT_EQ(mkdir(scratch_.PathOf("folder.png").c_str(), 0755), 0);
  EXPECT_FALSE(ReadWholeFile(Wide("folder.png")).has_value());
  EXPECT_FALSE(ReadWholeFile(Wide("missing.png")).has_value());
  EXPECT_FALSE(QueryFileSize(Wide("missing.png")).has_value());
  EXPECT_FALSE(QueryFileSize(Wide("folder.png")).has_value());
}

TEST_F(WholeFileTest, ShortReadIsNotTheFile) {
  // The kernel states 4096 bytes for this file and delivers far fewer.
  const std::string short_file = "/sys/devices/system/cpu/online";
  struct stat status {};
  if (stat(short_file.c_str(), &status) != 0 || status.st_size <= 64) GTEST_SKIP() << "no short-reading file";
  const HANDLE opened = CreateFileW(WidePath(short_file).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(opened, INVALID_HANDLE_VALUE);
  CloseHandle(opened);
  EXPECT_FALSE(ReadWholeFile(WidePath(short_file)).has_value());
}

TEST_F(WholeFileTest, AnotherProcessDecidesByItsShareMode) {
  WriteBytes(scratch_.PathOf("shared.png"), "picture");
  {
    ChildHoldingFile writer(Wide("shared.png"), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(writer.Opened());
    EXPECT_FALSE(ReadWholeFile(Wide("shared.png")).has_value());
  }
  {
    ChildHoldingFile reader(Wide("shared.png"), GENERIC_READ, FILE_SHARE_READ);
    ASSERT_TRUE(reader.Opened());
    const std::optional<FileBytes> read = ReadWholeFile(Wide("shared.png"));
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(ContentOf(*read), "picture");
    // The size query shares deletion only, so even a reader stops it.
    EXPECT_FALSE(QueryFileSize(Wide("shared.png")).has_value());
    EXPECT_FALSE(WriteWholeFile(Wide("shared.png"), BytesOf("new"), 3));
  }
  EXPECT_EQ(QueryFileSize(Wide("shared.png")), std::optional<DWORD>(7));
  EXPECT_EQ(ReadBytes(scratch_.PathOf("shared.png")), "picture");
}

TEST_F(WholeFileTest, OverwriteReplacesContentKeepingPermissions) {
  const std::string path = scratch_.PathOf("photo.bmp");
  WriteBytes(path, std::string(1000, 'o'), 0640);
  const std::string png("\x89PNG\0", 5);
  ASSERT_TRUE(WriteWholeFile(Wide("photo.bmp"), BytesOf(png), LengthOf(png)));
  EXPECT_EQ(ReadBytes(path), png);
  EXPECT_EQ(PermissionBitsOf(path), 0640u);
  EXPECT_EQ(scratch_.Names(), std::vector<std::string>{"photo.bmp"});
  EXPECT_FALSE(WriteWholeFile(Wide("photo.bmp"), BytesOf("x"), 0));
  EXPECT_EQ(ReadBytes(path).size(), 5u);
}

TEST_F(WholeFileTest, RefusedOverwriteLeavesEverythingAsItWas) {
  const std::string old_content(1000, 'o');
  WriteBytes(scratch_.PathOf("readonly.png"), old_content, 0444);
  EXPECT_FALSE(WriteWholeFile(Wide("readonly.png"), BytesOf("new"), 3));
  EXPECT_EQ(ReadBytes(scratch_.PathOf("readonly.png")), old_content);

  WriteBytes(scratch_.PathOf("held.png"), old_content);
  {
    ChildHoldingFile holder(Wide("held.png"), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    ASSERT_TRUE(holder.Opened());
    EXPECT_FALSE(WriteWholeFile(Wide("held.png"), BytesOf("new"), 3));
  }
  EXPECT_EQ(ReadBytes(scratch_.PathOf("held.png")), old_content);

  // An unwritable folder takes no new file beside the old one.
  ASSERT_EQ(chmod(scratch_.Folder().c_str(), 0555), 0);
  WriteBytes(scratch_.PathOf("inside.png"), old_content);
  EXPECT_FALSE(WriteWholeFile(Wide("inside.png"), BytesOf("new"), 3));
  EXPECT_EQ(ReadBytes(scratch_.PathOf("inside.png")), old_content);
  EXPECT_EQ(scratch_.Names(), (std::vector<std::string>{"held.png", "inside.png", "readonly.png"}));
}

TEST_F(WholeFileTest, FailingWriteLeavesOldFileAndNoStrayFile) {
  const std::string old_content(1000, 'o');
  WriteBytes(scratch_.PathOf("photo.png"), old_content);
  const std::string new_content(5000, 'n');
  const Path path = Wide("photo.png");
  // No file may grow past 2,000 bytes in the child: its write falls short.
  const int status = RunInChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    const struct rlimit limit = {2000, 2000};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 2;
    return WriteWholeFile(path, BytesOf(new_content), LengthOf(new_content)) ? 1 : 0;
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(ReadBytes(scratch_.PathOf("photo.png")), old_content);
  EXPECT_EQ(scratch_.Names(), std::vector<std::string>{"photo.png"});
}

TEST_F(WholeFileTest, SymbolicLinkStaysALink) {
  ASSERT_EQ(mkdir(scratch_.PathOf("real").c_str(), 0755), 0);
  WriteBytes(scratch_.PathOf("real/target.png"), std::string(100, 'o'), 0600);
  ASSERT_EQ(symlink("real/target.png", scratch_.PathOf("link.png").c_str()), 0);
  ASSERT_TRUE(WriteWholeFile(Wide("link.png"), BytesOf("new"), 3));
  struct stat link_status {};
  ASSERT_EQ(lstat(scratch_.PathOf("link.png").c_str(), &link_status), 0);
  EXPECT_TRUE(S_ISLNK(link_status.st_mode));
  EXPECT_EQ(ReadBytes(scratch_.PathOf("real/target.png")), "new");
  EXPECT_EQ(PermissionBitsOf(scratch_.PathOf("real/target.png")), 0600u);
  EXPECT_EQ(scratch_.Names(), (std::vector<std::string>{"link.png", "real"}));
}

TEST_F(WholeFileTest, HardLinkedFileKeepsAllItsNames) {
  WriteBytes(scratch_.PathOf("first.png"), std::string(100, 'o'));
  ASSERT_EQ(link(scratch_.PathOf("first.png").c_str(), scratch_.PathOf("second.png").c_str()), 0);
  ASSERT_TRUE(WriteWholeFile(Wide("first.png"), BytesOf("new"), 3));
  EXPECT_EQ(ReadBytes(scratch_.PathOf("first.png")), "new");
  EXPECT_EQ(ReadBytes(scratch_.PathOf("second.png")), "new");
  struct stat status {};
  ASSERT_EQ(stat(scratch_.PathOf("first.png").c_str(), &status), 0);
  EXPECT_EQ(status.st_nlink, 2u);
  EXPECT_EQ(scratch_.Names(), (std::vector<std::string>{"first.png", "second.png"}));
}

TEST_F(WholeFileTest, NameThatIsNotUtf8) {
  const std::string name = "\xC4\xE3\xBA\xC3 \xFF.bmp";  // GBK bytes, not UTF-8
  WriteBytes(scratch_.PathOf(name), std::string(50, 'o'));
  const std::optional<FileBytes> read = ReadWholeFile(Wide(name));
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->count, 50u);
  EXPECT_EQ(QueryFileSize(Wide(name)), std::optional<DWORD>(50));
  ASSERT_TRUE(WriteWholeFile(Wide(name), BytesOf("new"), 3));
  EXPECT_EQ(ReadBytes(scratch_.PathOf(name)), "new");
  EXPECT_EQ(scratch_.Names(), std::vector<std::string>{name});
}

}  // namespace
}  // namespace repng::testing
