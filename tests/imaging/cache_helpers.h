// Putting the memory context cache into a known state in tests.
#pragma once

#include <array>

#include "imaging/memory_dc_cache.h"

namespace repng::test {

// Takes every cached context out and deletes it: all slots end empty.
inline void EmptyMemoryDCCache() {
  for (size_t i = 0; i < kMemoryDCCacheSlots; ++i) DeleteDC(AcquireMemoryDC());
}

inline size_t CachedContextCount() {
  size_t count = 0;
  for (const HDC slot : MemoryDCCacheSlotsForTesting()) count += slot != nullptr;
  return count;
}

}  // namespace repng::test
