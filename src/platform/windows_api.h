// The one include through which the program's own code reaches the Windows
// platform: the real SDK on Windows, our stand-ins elsewhere. Both offer the
// same names and signatures.
#pragma once

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <objidl.h>
#else
#include "platform/posix/win32_types.h"
#include "platform/posix/kernel32/last_error.h"
#include "platform/posix/kernel32/files.h"
#include "platform/posix/nls/text_conversion.h"
#include "platform/posix/global_memory/global_memory.h"
#include "platform/posix/interlocked.h"
#include "platform/posix/ole32/ole_streams.h"
#include "platform/posix/gdi/gdi.h"
#include "platform/posix/user/user.h"
#endif

namespace repng::platform {

// Whether ReplaceFileW must be given a replacement that nobody holds open.
// Windows' own opens the replacement without sharing it (a sharing violation
// otherwise); the stand-in takes it open, since a new file there has no name
// until it takes the old one's place.
#ifdef _WIN32
inline constexpr bool kReplacementMustBeClosed = true;
#else
inline constexpr bool kReplacementMustBeClosed = false;
#endif

}  // namespace repng::platform
