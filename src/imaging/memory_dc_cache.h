// A small process-wide cache of memory device contexts, shared without locks:
// each slot is only read and written by atomic exchange.
#pragma once

#include <cstddef>

#include "platform/windows_api.h"

inline constexpr size_t kMemoryDCCacheSlots = 5;

// A cached memory context, or else a new one; null only when none can be made.
HDC AcquireMemoryDC();

// Gives a context (any value, null included) back: it lands in slot 0, the
// contexts it displaces move one slot on, and one pushed out of the last
// slot is deleted. The contexts left at normal process exit are deleted.
void ReleaseMemoryDC(HDC context);
