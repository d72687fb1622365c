// Windows share modes between processes, kept with open-file-description
// locks (F_OFD_SETLK) far beyond any real file content. Every open of this
// layer announces what it does and what it denies to others, one shared lock
// byte each, and then tests the bytes of the opposite meaning for locks held
// by any other open of the same file, in this or another process.
#pragma once

#include "platform/posix/win32_types.h"

namespace repng::posix {

// Claims `access` (GENERIC_READ, GENERIC_WRITE, DELETE; other bits are
// ignored) and denies what `share_mode` does not grant, on the open file
// description behind fd, which must be open for reading. Returns
// ERROR_SUCCESS, or ERROR_SHARING_VIOLATION when another open conflicts;
// the claims then stay until fd is closed, which the caller does at once.
// On file systems without such locks every open is admitted.
DWORD ClaimShareMode(int fd, DWORD access, DWORD share_mode);

}  // namespace repng::posix
