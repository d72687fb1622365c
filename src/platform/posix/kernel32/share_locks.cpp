#include "platform/posix/kernel32/share_locks.h"

#include <fcntl.h>

#include <array>
#include <cerrno>

#include "platform/posix/kernel32/files.h"

namespace repng::posix {
namespace {

// Byte kLockBase + right says "an open uses this right"; byte
// kLockBase + kDenialOffset + right says "an open denies this right".
constexpr off_t kLockBase = 0x7FFF'FFFF'0000'0000;
constexpr off_t kDenialOffset = 3;

struct Right {
  DWORD access_bit;
  DWORD share_bit;
};
constexpr std::array<Right, 3> kRights = {{
    {GENERIC_READ, FILE_SHARE_READ},
    {GENERIC_WRITE, FILE_SHARE_WRITE},
    {DELETE, FILE_SHARE_DELETE},
}};

enum class LockResult { kTaken, kConflict, kUnsupported };

struct flock LockByte(short type, off_t offset) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = offset;
  lock.l_len = 1;
  return lock;
}

LockResult TakeSharedByte(int fd, off_t offset) {
  struct flock lock = LockByte(F_RDLCK, offset);
  if (fcntl(fd, F_OFD_SETLK, &lock) == 0) return LockResult::kTaken;
  // Only a foreign program's exclusive lock can refuse a shared one.
  if (errno == EAGAIN || errno == EACCES) return LockResult::kConflict;
  return LockResult::kUnsupported;
}

// Locks of fd's own open file description never count as held by others.
LockResult TestByteHeldByOthers(int fd, off_t offset) {
  struct flock probe = LockByte(F_WRLCK, offset);
  if (fcntl(fd, F_OFD_GETLK, &probe) != 0) return LockResult::kUnsupported;
  return probe.l_type == F_UNLCK ? LockResult::kTaken : LockResult::kConflict;
}

}  // namespace

DWORD ClaimShareMode(int fd, DWORD access, DWORD share_mode) {
  // An open that neither reads, writes nor deletes takes no part in sharing.
  if (!(access & (GENERIC_READ | GENERIC_WRITE | DELETE))) return ERROR_SUCCESS;
  // Claim first, test after: of two conflicting opens racing each other at
  // least one sees the other, so both can fail but never both succeed.
  for (off_t i = 0; i < static_cast<off_t>(kRights.size()); ++i) {
    const Right& right = kRights[static_cast<size_t>(i)];
    LockResult result = LockResult::kTaken;
    if (access & right.access_bit) result = TakeSharedByte(fd, kLockBase + i);
    if (result == LockResult::kTaken && !(share_mode & right.share_bit))
      result = TakeSharedByte(fd, kLockBase + kDenialOffset + i);
    if (result == LockResult::kUnsupported) return ERROR_SUCCESS;
    if (result == LockResult::kConflict) return ERROR_SHARING_VIOLATION;
  }
  for (off_t i = 0; i < static_cast<off_t>(kRights.size()); ++i) {
    const Right& right = kRights[static_cast<size_t>(i)];
    LockResult result = LockResult::kTaken;
    if (access & right.access_bit) result = TestByteHeldByOthers(fd, kLockBase + kDenialOffset + i);
    if (result == LockResult::kTaken && !(share_mode & right.share_bit))
      result = TestByteHeldByOthers(fd, kLockBase + i);
    if (result == LockResult::kUnsupported) return ERROR_SUCCESS;
    if (result == LockResult::kConflict) return ERROR_SHARING_VIOLATION;
  }
  return ERROR_SUCCESS;
}

}  // namespace repng::posix
