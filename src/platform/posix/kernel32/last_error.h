// The calling thread's last-error code.
#pragma once

#include "platform/posix/win32_types.h"

DWORD WINAPI GetLastError();
void WINAPI SetLastError(DWORD code);
