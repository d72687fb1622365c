#include "platform/posix/kernel32/unnamed_files.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/posix/kernel32/file_names.h"
#include "platform/posix/kernel32/file_test_hooks.h"

namespace repng::posix {
namespace {

// Fresh names already taken, by leftovers or by other processes.
constexpr int kMaxFreshNameTries = 16;

std::atomic<unsigned> g_fresh_name_counter{0};

// The caller named the file; a kill between the link and the rename leaves it
// under that name with a suffix that says which process made it complete.
std::string FreshNameFor(const std::string& own_name) {
  return own_name + "-" + std::to_string(getpid()) + "-" + std::to_string(g_fresh_name_counter.fetch_add(1));
}

bool IsUnsupported(int error) { return error == EOPNOTSUPP || error == EISDIR || error == EINVAL; }

}  // namespace

UniqueFd OpenUnnamedFile(const std::string& name) {
  if (!testing::AreUnnamedFilesAllowed()) {
    errno = EOPNOTSUPP;
    return UniqueFd();
  }
  const int fd = open(ParentFolderOf(name).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  // Kernels and file systems without O_TMPFILE answer in several ways.
  if (fd < 0 && IsUnsupported(errno)) errno = EOPNOTSUPP;
  return UniqueFd(fd);
}

bool LinkUnnamedFile(int fd, const std::string& name) {
  if (testing::FailsThisCall(testing::FileFault::kLinkIntoFolder)) {
    errno = EIO;
    return false;
  }
  // Through /proc, which needs no privilege, unlike AT_EMPTY_PATH.
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
  if (errno != ENOENT) return false;
  return linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0;
}

bool RenameIntoPlace(const std::string& from, const std::string& to) {
  if (testing::FailsThisCall(testing::FileFault::kRenameIntoPlace)) {
    errno = EIO;
    return false;
  }
  return rename(from.c_str(), to.c_str()) == 0;
}

bool MoveUnnamedFileOver(int fd, const std::string& own_name, const std::string& target) {
  for (int attempt = 0; attempt < kMaxFreshNameTries; ++attempt) {
    const std::string fresh = FreshNameFor(own_name);
    if (!LinkUnnamedFile(fd, fresh)) {
      if (errno == EEXIST) continue;
      return false;
    }
    if (RenameIntoPlace(fresh, target)) return true;
    const int error = errno;
    unlink(fresh.c_str());
    errno = error;
    return false;
  }
  errno = EEXIST;
  return false;
}

}  // namespace repng::posix
