#include "platform/posix/global_memory/global_memory.h"

#include <cstdlib>
#include <cstring>

#include "platform/posix/global_memory/block_registry.h"
#include "platform/posix/kernel32/last_error.h"

using repng::posix::global_memory::BlockRegistry;
using repng::posix::global_memory::Registry;

namespace {

// Larger requests fail like an exhausted heap instead of reaching malloc,
// whose behaviour for absurd sizes differs between allocators.
constexpr SIZE_T kMaxGlobalBlockBytes = SIZE_T{1} << 32;

}  // namespace

namespace repng::posix::global_memory {

BlockRegistry& Registry() {
  static BlockRegistry* registry = new BlockRegistry;
  return *registry;
}

}  // namespace repng::posix::global_memory

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes) {
  if (bytes > kMaxGlobalBlockBytes) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  // One byte at least, so that an empty block still has an address of its own.
  void* memory = std::malloc(bytes == 0 ? 1 : bytes);
  if (memory == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if ((flags & GMEM_ZEROINIT) != 0) std::memset(memory, 0, bytes);
  // The registry's own first allocation can fail too.
  try {
    BlockRegistry& registry = Registry();
    std::lock_guard lock(registry.mutex);
    registry.sizes.emplace(memory, bytes);
  } catch (...) {
    std::free(memory);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return memory;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL block) {
  if (block == nullptr) return nullptr;
  BlockRegistry& registry = Registry();
  {
    std::lock_guard lock(registry.mutex);
    if (registry.sizes.erase(block) == 0) {
      SetLastError(ERROR_INVALID_HANDLE);
      return block;
    }
  }
  std::free(block);
  return nullptr;
}

LPVOID WINAPI GlobalLock(HGLOBAL block) {
  BlockRegistry& registry = Registry();
  std::lock_guard lock(registry.mutex);
  if (block == nullptr || !registry.sizes.contains(block)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return block;
}

BOOL WINAPI GlobalUnlock(HGLOBAL block) {
  // Blocks never move, so there is no lock count to keep; FALSE says the
  // block is unlocked, as for a fixed block.
  SetLastError(GlobalLock(block) == nullptr ? ERROR_INVALID_HANDLE : ERROR_SUCCESS);
  return FALSE;
}

SIZE_T WINAPI GlobalSize(HGLOBAL block) {
  BlockRegistry& registry = Registry();
  std::lock_guard lock(registry.mutex);
  const auto found = block == nullptr ? registry.sizes.end() : registry.sizes.find(block);
  if (found == registry.sizes.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return found->second;
}
