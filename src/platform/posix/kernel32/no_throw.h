// Win32 calls report failure through their result and the last error and
// never throw; the stand-in's own allocations can, so its calls that
// allocate run their bodies through this.
#pragma once

#include <exception>

#include "platform/posix/kernel32/last_error.h"

namespace repng::posix {

// body(), or `failure` with ERROR_NOT_ENOUGH_MEMORY when it throws (memory
// or a length beyond what a string can hold).
template <typename Result, typename Body>
Result WithoutExceptions(Result failure, Body&& body) noexcept {
  try {
    return body();
  } catch (const std::exception&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return failure;
  }
}

}  // namespace repng::posix
