#include "platform/posix/kernel32/errno_mapping.h"

#include <cerrno>

#include "platform/posix/kernel32/last_error.h"

namespace repng::posix {

DWORD Win32ErrorFromErrno(int error, DWORD fallback) {
  switch (error) {
    case 0:
      return ERROR_SUCCESS;
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
      return ERROR_ACCESS_DENIED;
    case EEXIST:
      return ERROR_FILE_EXISTS;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case ELOOP:
      return ERROR_CANT_RESOLVE_FILENAME;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case EFBIG:
      return ERROR_FILE_TOO_LARGE;
    case EXDEV:
      return ERROR_NOT_SAME_DEVICE;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    case EAGAIN:
      return ERROR_SHARING_VIOLATION;
    case ENOTSUP:
      return ERROR_NOT_SUPPORTED;
    default:
      return fallback;
  }
}

BOOL FailWithErrno(DWORD fallback) { return FailWith(Win32ErrorFromErrno(errno, fallback)); }

BOOL FailWith(DWORD code) {
  SetLastError(code);
  return FALSE;
}

}  // namespace repng::posix
