#include "platform/posix/kernel32/last_error.h"

namespace {
thread_local DWORD t_last_error = ERROR_SUCCESS;
}

DWORD WINAPI GetLastError() { return t_last_error; }

void WINAPI SetLastError(DWORD code) { t_last_error = code; }
