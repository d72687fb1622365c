// Whole files in and out: only complete files below the size limit are
// read, and an overwrite either lands whole or leaves the old file as it was.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "fileio/whole_file.h"
#include "kernel32/file_test_support.h"
#include "platform/posix/kernel32/file_test_hooks.h"

namespace repng::testing {
namespace {

class WholeFileTest : public ::testing::Test {
 protected:
  ~WholeFileTest() override {
    posix::testing::ClearFileFaults();
    posix::testing::SetUnnamedFilesAllowed(true);
  }
  Path Wide(const std::string& name) const { return WidePath(scratch_.PathOf(name)); }
  bool Overwrite(const std::string& name, const std::string& bytes) const {
    return WriteWholeFile(Wide(name), reinterpret_cast<const BYTE*>(bytes.data()), static_cast<int>(bytes.size()));
  }
  ScratchFolder scratch_;
};

// Sparse files; 4 GiB + 100 bytes would pass for 100 bytes in its low 32
// bits alone.
TEST_F(WholeFileTest, ReadsOnlyBelowTheSizeLimit) {
  for (const off_t size : {off_t{0}, off_t{kMaxInputFileSize} - 1, off_t{kMaxInputFileSize}, (off_t{1} << 32) + 100}) {
    SCOPED_TRACE(size);
    MakeSparseFile(scratch_.PathOf("picture.bmp"), size, 'L');
    const std::optional<FileBytes> read = ReadWholeFile(Wide("picture.bmp"));
    ASSERT_EQ(read.has_value(), size < kMaxInputFileSize);
    EXPECT_EQ(QueryFileSize(Wide("picture.bmp")).has_value(), size < (off_t{1} << 32));
    if (!read) continue;
    EXPECT_EQ(read->count, size);
    if (size > 0) {
      EXPECT_EQ(read->data[size - 1], 'L');
    }
    EXPECT_EQ(read->data[size], 0);
  }
}

TEST_F(WholeFileTest, WhatIsNoReadableFileGivesNothing) {
  ASSERT_EQ(mkdir(scratch_.PathOf("folder.png").c_str(), 0755), 0);
  // A named pipe would block an ordinary read for ever.
  ASSERT_EQ(mkfifo(scratch_.PathOf("pipe.png").c_str(), 0644), 0);
  for (const char* name : {"folder.png", "pipe.png", "missing.png"}) {
    EXPECT_FALSE(ReadWholeFile(Wide(name)).has_value()) << name;
    EXPECT_FALSE(QueryFileSize(Wide(name)).has_value()) << name;
  }
  // The kernel states 4096 bytes for this file and delivers far fewer.
  const std::string short_file = "/sys/devices/system/cpu/online";
  struct stat status {};
  if (stat(short_file.c_str(), &status) == 0 && status.st_size > 64) {
    EXPECT_FALSE(ReadWholeFile(WidePath(short_file)).has_value());
  }
}

// The read shares reading only, the size query deletion only and the
// overwrite nothing: every holder below stops the last two.
TEST_F(WholeFileTest, AnotherProcessDecidesByItsShareMode) {
  WriteBytes(scratch_.PathOf("shared.png"), "picture");
  const struct {
    DWORD access, share_mode;
    bool read;
  } holders[] = {
      {GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, false},
      {GENERIC_READ, FILE_SHARE_READ, true},
      {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, true},
  };
  for (const auto& holder : holders) {
    const ChildHoldingFile child(Wide("shared.png"), holder.access, holder.share_mode);
    ASSERT_TRUE(child.Opened());
    EXPECT_EQ(ReadWholeFile(Wide("shared.png")).has_value(), holder.read) << holder.access;
    EXPECT_FALSE(QueryFileSize(Wide("shared.png")).has_value());
    EXPECT_FALSE(Overwrite("shared.png", "new"));
  }
  EXPECT_EQ(QueryFileSize(Wide("shared.png")), std::optional<DWORD>(7));
  EXPECT_EQ(ReadBytes(scratch_.PathOf("shared.png")), "picture");
  EXPECT_EQ(scratch_.Names(), std::vector<std::string>{"shared.png"});
}

// With and without unnamed new files. A name of 255 bytes leaves no room for
// a longer name beside it; GBK bytes and a backslash are no UTF-8 and no
// folder separator.
TEST_F(WholeFileTest, OverwriteTakesTheOldNameAndPermissions) {
  for (const bool unnamed : {true, false}) {
    posix::testing::SetUnnamedFilesAllowed(unnamed);
    const std::string name = "\xC4\xE3\xBA\xC3\\\xFF" + std::string(245, unnamed ? 'u' : 'n') + ".bmp";
    WriteBytes(scratch_.PathOf(name), std::string(1000, 'o'), 0640);
    const std::string png("\x89PNG\0", 5);
    ASSERT_TRUE(Overwrite(name, png)) << unnamed;
    EXPECT_EQ(ReadBytes(scratch_.PathOf(name)), png);
    EXPECT_EQ(PermissionBitsOf(scratch_.PathOf(name)), 0640u);
    EXPECT_FALSE(Overwrite(name, ""));
    EXPECT_EQ(ReadBytes(scratch_.PathOf(name)), png);
  }
  EXPECT_EQ(scratch_.Names().size(), 2u);
}

TEST_F(WholeFileTest, RefusedOrFailingOverwriteLeavesEverythingAsItWas) {
  const std::string old_content(1000, 'o');
  // Without write bits it is read-only, even for root.
  WriteBytes(scratch_.PathOf("readonly.png"), old_content, 0444);
  EXPECT_FALSE(Overwrite("readonly.png", "new"));
  // No file may grow past 2,000 bytes in the child: its write falls short.
  WriteBytes(scratch_.PathOf("photo.png"), old_content);
  const pid_t child = fork();
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const struct rlimit limit = {2000, 2000};
    _exit(setrlimit(RLIMIT_FSIZE, &limit) == 0 && !Overwrite("photo.png", std::string(5000, 'n')) ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(status, 0);
  // An unwritable folder takes no new file beside the old one.
  WriteBytes(scratch_.PathOf("inside.png"), old_content);
  ASSERT_EQ(chmod(scratch_.Folder().c_str(), 0555), 0);
  EXPECT_FALSE(Overwrite("inside.png", "new"));

  for (const std::string name : {"inside.png", "photo.png", "readonly.png"})
    EXPECT_EQ(ReadBytes(scratch_.PathOf(name)), old_content) << name;
  EXPECT_EQ(scratch_.Names(), (std::vector<std::string>{"inside.png", "photo.png", "readonly.png"}));
}

// ReplaceFileW can fail after the old file has left its name: the new file
// then takes the name by a move, or, when that fails too, a copy of it is
// written there. Only when that fails as well does the new file stay whole
// under its hidden name, and the caller learns where.
TEST_F(WholeFileTest, ReplaceThatLosesTheOldFileStillPutsAPictureUnderTheName) {
  using posix::testing::FileFault;
  const struct {
    bool move_fails;
    std::optional<FileFault> copy_fault;  // the copy's create, write or flush, after the new file's
    bool written;
  } cases[] = {
      {false, std::nullopt, true},
      {true, std::nullopt, true},
      {true, FileFault::kCreateNew, false},
      {true, FileFault::kWrite, false},
      {true, FileFault::kFlush, false},
  };
  const Path hidden = WidePath(std::filesystem::canonical(scratch_.Folder()).string() + "/.~repng0");
  for (const bool unnamed : {true, false})
    for (const auto& c : cases) {
      SCOPED_TRACE("case " + std::to_string(&c - cases) + (unnamed ? ", unnamed" : ", named"));
      posix::testing::SetUnnamedFilesAllowed(unnamed);
      WriteBytes(scratch_.PathOf("photo.bmp"), std::string(1000, 'o'), 0640);
      posix::testing::InjectFileFault(FileFault::kReplaceAfterRemovingOld);
      if (c.move_fails) {
        posix::testing::InjectFileFault(FileFault::kMove);
      }
      if (c.copy_fault) posix::testing::InjectFileFault(*c.copy_fault, 1);
      WriteFailure failure;
      const bool written = WriteWholeFile(Wide("photo.bmp"), reinterpret_cast<const BYTE*>("new"), 3, nullptr, &failure);
      posix::testing::ClearFileFaults();
      EXPECT_EQ(written, c.written);
      const std::string left = c.written ? "photo.bmp" : ".~repng0";
      ASSERT_EQ(scratch_.Names(), std::vector<std::string>{left});
      EXPECT_EQ(ReadBytes(scratch_.PathOf(left)), "new");
      if (!c.move_fails) {
        EXPECT_EQ(PermissionBitsOf(scratch_.PathOf(left)), 0640u);
      }
      EXPECT_EQ(failure.kind, c.written ? WriteFailure::Kind::kFileUnchanged : WriteFailure::Kind::kNewContentElsewhere);
      EXPECT_EQ(failure.where, c.written ? Path() : hidden);
      ASSERT_EQ(unlink(scratch_.PathOf(left).c_str()), 0);
    }
}

// With the stamp of the read, whatever took the file's place since is left
// alone, and where the file has gone nothing is created (creating it only to
// delete it again by name could delete another program's save).
TEST_F(WholeFileTest, StampedOverwriteReplacesOnlyTheFileThatWasRead) {
  WriteBytes(scratch_.PathOf("picture.bmp"), std::string(100, 'o'));
  const std::optional<FileBytes> read = ReadWholeFile(Wide("picture.bmp"));
  ASSERT_TRUE(read.has_value());
  const BYTE png[] = {'n', 'e', 'w'};
  WriteBytes(scratch_.PathOf("picture.bmp"), std::string(200, 's'));
  EXPECT_FALSE(WriteWholeFile(Wide("picture.bmp"), png, 3, &read->stamp));
  EXPECT_EQ(ReadBytes(scratch_.PathOf("picture.bmp")), std::string(200, 's'));
  ASSERT_EQ(unlink(scratch_.PathOf("picture.bmp").c_str()), 0);
  EXPECT_FALSE(WriteWholeFile(Wide("picture.bmp"), png, 3, &read->stamp));
  EXPECT_TRUE(scratch_.Names().empty());
}

TEST_F(WholeFileTest, LinksStayLinks) {
  ASSERT_EQ(mkdir(scratch_.PathOf("real").c_str(), 0755), 0);
  WriteBytes(scratch_.PathOf("real/target.png"), std::string(100, 'o'), 0600);
  ASSERT_EQ(symlink("real/target.png", scratch_.PathOf("symbolic.png").c_str()), 0);
  ASSERT_TRUE(Overwrite("symbolic.png", "new"));
  struct stat status {};
  ASSERT_EQ(lstat(scratch_.PathOf("symbolic.png").c_str(), &status), 0);
  EXPECT_TRUE(S_ISLNK(status.st_mode));
  EXPECT_EQ(PermissionBitsOf(scratch_.PathOf("real/target.png")), 0600u);
  // Every name of a file with several sees the new content.
  ASSERT_EQ(link(scratch_.PathOf("real/target.png").c_str(), scratch_.PathOf("hard.png").c_str()), 0);
  ASSERT_TRUE(Overwrite("hard.png", "newer"));
  for (const std::string name : {"symbolic.png", "hard.png", "real/target.png"})
    EXPECT_EQ(ReadBytes(scratch_.PathOf(name)), "newer") << name;
  EXPECT_EQ(scratch_.Names(), (std::vector<std::string>{"hard.png", "real", "symbolic.png"}));
}

// A file with several names is rewritten in place after its old content has
// been saved beside it, so that the in-place write is the second write and
// the second flush. Its failure is undone from that copy under every name;
// only when the undoing fails too is the copy kept, under a name that says
// what it is and takes no other file's place.
TEST_F(WholeFileTest, FailedOverwriteOfAHardLinkedFileIsUndone) {
  using posix::testing::FileFault;
  const std::string old_content(100, 'o');
  const struct {
    FileFault fault;
    unsigned failing;   // calls that fail, from the in-place one on
    const char* taken;  // a file already there under that name
    bool move_fails;
    const char* kept;  // null: the old content is back and nothing is kept
  } cases[] = {
      {FileFault::kWrite, 1, nullptr, false, nullptr},
      {FileFault::kShortWrite, 1, nullptr, false, nullptr},
      {FileFault::kFlush, 1, nullptr, false, nullptr},
      {FileFault::kWrite, posix::testing::kEveryCall, nullptr, false, "hard.png.repng-original"},
      {FileFault::kFlush, posix::testing::kEveryCall, nullptr, false, "hard.png.repng-original"},
      {FileFault::kWrite, posix::testing::kEveryCall, "hard.png.repng-original", false, "hard.png.repng-original-1"},
      {FileFault::kWrite, posix::testing::kEveryCall, nullptr, true, ".~repng0"},
  };
  for (const bool unnamed : {true, false})
    for (const auto& c : cases) {
      SCOPED_TRACE("case " + std::to_string(&c - cases) + (unnamed ? ", unnamed" : ", named"));
      posix::testing::SetUnnamedFilesAllowed(unnamed);
      WriteBytes(scratch_.PathOf("hard.png"), old_content);
      ASSERT_EQ(link(scratch_.PathOf("hard.png").c_str(), scratch_.PathOf("other.png").c_str()), 0);
      std::vector<std::string> names = {"hard.png", "other.png"};
      if (c.taken) {
        WriteBytes(scratch_.PathOf(c.taken), "mine");
        names.push_back(c.taken);
      }
      if (c.kept) names.push_back(c.kept);
      std::sort(names.begin(), names.end());
      posix::testing::InjectFileFault(c.fault, 1, c.failing);
      if (c.move_fails) posix::testing::InjectFileFault(FileFault::kMove);
      WriteFailure failure;
      EXPECT_FALSE(WriteWholeFile(Wide("hard.png"), reinterpret_cast<const BYTE*>("new"), 3, nullptr, &failure));
      posix::testing::ClearFileFaults();
      // Told apart from an unchanged file, with where the old content is.
      EXPECT_EQ(failure.kind, c.kept ? WriteFailure::Kind::kOldContentElsewhere : WriteFailure::Kind::kFileUnchanged);
      EXPECT_EQ(failure.where,
                c.kept ? WidePath(std::filesystem::canonical(scratch_.Folder()).string() + "/" + c.kept) : Path());

      EXPECT_EQ(scratch_.Names(), names);
      if (c.kept) {
        EXPECT_EQ(ReadBytes(scratch_.PathOf(c.kept)), old_content);
      } else {
        EXPECT_EQ(std::filesystem::hard_link_count(scratch_.PathOf("hard.png")), 2u);
        for (const std::string name : {"hard.png", "other.png"})
          EXPECT_EQ(ReadBytes(scratch_.PathOf(name)), old_content) << name;
      }
      if (c.taken) {
        EXPECT_EQ(ReadBytes(scratch_.PathOf(c.taken)), "mine");
      }
      for (const std::string& name : scratch_.Names()) ASSERT_EQ(unlink(scratch_.PathOf(name).c_str()), 0);
    }
}

}  // namespace
}  // namespace repng::testing
