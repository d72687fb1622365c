// Global memory blocks. A handle is the block's address for fixed and movable
// blocks alike; every handle is looked up before use, so a stale or foreign
// handle fails instead of touching memory.
#pragma once

#include "platform/posix/win32_types.h"

#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)

// A block of `bytes` bytes (0 allowed), or null when out of memory or when
// the size passes the library's bound.
HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes);
// Null on success; the handle itself when it names no live block.
HGLOBAL WINAPI GlobalFree(HGLOBAL block);
// The block's address, or null for an unknown handle.
LPVOID WINAPI GlobalLock(HGLOBAL block);
BOOL WINAPI GlobalUnlock(HGLOBAL block);
// The block's size in bytes; 0 for an unknown handle.
SIZE_T WINAPI GlobalSize(HGLOBAL block);
