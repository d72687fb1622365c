// Atomic exchange under the SDK's names, with full barriers as on Windows.
#pragma once

#include "platform/posix/win32_types.h"

typedef void* PVOID;

inline LONG InterlockedExchange(LONG volatile* target, LONG value) {
  return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}

inline PVOID InterlockedExchangePointer(PVOID volatile* target, PVOID value) {
  return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}
