// The exception half of the failure frame, the same on every system.
#pragma once

namespace repng::runtime {

// Runs body(context); true when an exception of any type left it.
inline bool RunCatchingExceptions(void (*body)(void* context), void* context) {
  try {
    body(context);
    return false;
  } catch (...) {
    return true;
  }
}

}  // namespace repng::runtime
