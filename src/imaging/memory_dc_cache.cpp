#include "imaging/memory_dc_cache.h"

#include <cstdlib>

namespace {

struct MemoryDCCache {
  PVOID volatile slots[kMemoryDCCacheSlots];
};

MemoryDCCache g_memory_dc_cache = {};

// Runs at exit, after all work has ended, so it reads the slots plainly.
void DeleteCachedMemoryDCs() {
  for (PVOID volatile& slot : g_memory_dc_cache.slots) {
    if (slot != nullptr) DeleteDC(static_cast<HDC>(slot));
    slot = nullptr;
  }
}

void RegisterCacheCleanupOnce() {
  static const bool registered = std::atexit(DeleteCachedMemoryDCs) == 0;
  static_cast<void>(registered);
}

}  // namespace

HDC AcquireMemoryDC() {
  for (PVOID volatile& slot : g_memory_dc_cache.slots) {
    const PVOID taken = InterlockedExchangePointer(&slot, nullptr);
    if (taken != nullptr) return static_cast<HDC>(taken);
  }
  const HWND desktop = GetDesktopWindow();
  const HDC screen = GetDC(desktop);
  const HDC context = CreateCompatibleDC(screen);
  ReleaseDC(desktop, screen);
  return context;
}

void ReleaseMemoryDC(HDC context) {
  RegisterCacheCleanupOnce();
  PVOID carried = context;
  for (PVOID volatile& slot : g_memory_dc_cache.slots) {
    carried = InterlockedExchangePointer(&slot, carried);
    if (carried == nullptr) return;
  }
  DeleteDC(static_cast<HDC>(carried));
}
