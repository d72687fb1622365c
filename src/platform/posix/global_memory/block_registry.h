// The live global memory blocks and their sizes.
#pragma once

#include <mutex>
#include <unordered_map>

#include "platform/posix/win32_types.h"

namespace repng::posix::global_memory {

struct BlockRegistry {
  std::mutex mutex;
  std::unordered_map<void*, SIZE_T> sizes;
};

// Never destroyed: blocks may still be freed by clean-ups that run at exit.
BlockRegistry& Registry();

}  // namespace repng::posix::global_memory
