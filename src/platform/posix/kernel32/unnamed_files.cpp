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

// Short whatever the target's name is, so that a name near the length limit
// can still be replaced.
std::string FreshNameBeside(const std::string& target) {
  return ParentFolderOf(target) + "/.~repng-" + std::to_string(getpid()) + "-" +
         std::to_string(g_fresh_name_counter.fetch_add(1));
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

bool MoveUnnamedFileOver(int fd, const std::string& target) {
  for (int attempt = 0; attempt < kMaxFreshNameTries; ++attempt) {
    const std::string fresh = FreshNameBeside(target);
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
