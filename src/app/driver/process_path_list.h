#pragma once

#include "platform/windows_api.h"

// Re-encodes each file named by arguments 1 to count-1, in sorted order,
// overwriting it only when its PNG form is smaller and can be written, and
// prints one report line per path. Returns 0. Out-of-memory exceptions pass.
int ProcessPathList(int argument_count, WCHAR* arguments[]);
