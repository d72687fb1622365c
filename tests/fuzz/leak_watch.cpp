#include "leak_watch.h"

#include "imaging/memory_dc_cache.h"
#include "platform/gdiplus/gdiplus_test_hooks.h"
#include "platform/posix/gdi/gdi_test_hooks.h"
#include "platform/posix/gdi/global_memory_test_hooks.h"

namespace repng::fuzz {
namespace {

// The encoder keeps memory contexts between calls on purpose; those are not
// left behind.
size_t UncachedGdiObjects() {
  size_t cached = 0;
  for (const HDC context : MemoryDCCacheSlotsForTesting()) cached += context != nullptr ? 1 : 0;
  return posix::testing::LiveGdiObjectCount() - cached;
}

}  // namespace

LeakWatch::LeakWatch()
    : global_blocks_(posix::testing::LiveGlobalBlockCount()),
      gdi_objects_(UncachedGdiObjects()),
      images_(gdiplus::testing::LiveImageCount()) {}

const char* LeakWatch::Leftover() const {
  if (posix::testing::LiveGlobalBlockCount() != global_blocks_) return "a global memory block was left behind";
  if (gdiplus::testing::LiveImageCount() != images_) return "a native image was left behind";
  if (UncachedGdiObjects() != gdi_objects_) return "a GDI object was left behind";
  return "";
}

}  // namespace repng::fuzz
