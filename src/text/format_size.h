#pragma once

#include "platform/windows_api.h"
#include "text/text_types.h"

// The size text of a byte count: "n字节" below 1024, otherwise kibibytes with
// two decimals and "K" (1,152 bytes give 1.13K: ties round up).
NarrowText FormatSize(DWORD count);
