#include "platform/posix/memory/large_pages.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace repng::posix {

void* AllocateBlock(std::size_t size) noexcept {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr || size < kLargePage) return block;
#if defined(MADV_HUGEPAGE)
  // Only whole large pages: the block's ends share theirs with other
  // blocks. The advice is a hint; a kernel without it changes nothing.
  const auto address = reinterpret_cast<std::uintptr_t>(block);
  const std::uintptr_t first = (address + kLargePage - 1) & ~std::uintptr_t{kLargePage - 1};
  const std::uintptr_t end = (address + size) & ~std::uintptr_t{kLargePage - 1};
  if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#endif
  return block;
}

}  // namespace repng::posix
