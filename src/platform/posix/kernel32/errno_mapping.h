// Win32 error codes for the errno values of POSIX file calls.
#pragma once

#include "platform/posix/win32_types.h"

namespace repng::posix {

// The Win32 code closest to `error`; `fallback` for values with no
// counterpart (the caller knows whether it was reading or writing).
DWORD Win32ErrorFromErrno(int error, DWORD fallback);

// Sets the last error from errno and returns FALSE, for the BOOL calls.
BOOL FailWithErrno(DWORD fallback);

// Sets the last error and returns FALSE.
BOOL FailWith(DWORD code);

}  // namespace repng::posix
