// The library's allocator, which the wrapper objects live in.
#include <cstdlib>

#include "platform/gdiplus/gdiplus_flat.h"
#include "platform/gdiplus/gdiplus_test_hooks.h"

namespace {

// Larger requests give null instead of reaching malloc.
constexpr size_t kMaxAllocationBytes = size_t{1} << 31;

}  // namespace

namespace Gdiplus::DllExports {

void* WINGDIPAPI GdipAlloc(size_t size) {
  if (repng::gdiplus::testing::GdipAllocFails() || size > kMaxAllocationBytes) return nullptr;
  return std::malloc(size == 0 ? 1 : size);
}

void WINGDIPAPI GdipFree(void* ptr) { std::free(ptr); }

}  // namespace Gdiplus::DllExports
