#include "platform/posix/global_memory/global_memory_test_hooks.h"

#include "platform/posix/global_memory/block_registry.h"

namespace repng::posix::testing {

size_t LiveGlobalBlockCount() {
  global_memory::BlockRegistry& registry = global_memory::Registry();
  std::lock_guard lock(registry.mutex);
  return registry.sizes.size();
}

}  // namespace repng::posix::testing
