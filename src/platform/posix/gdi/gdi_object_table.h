// The table behind every GDI handle: bitmaps and device contexts by number.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/posix/win32_types.h"

namespace repng::posix::gdi {

enum class ObjectKind { kBitmap, kMemoryDC, kScreenDC };

// A 32-bit DIB section: rows of width * 4 bytes with no gap.
struct DibSection {
  LONG width = 0;
  LONG height = 0;  // always positive
  bool top_down = false;
  std::unique_ptr<BYTE[]> bits;
};

struct GdiObject {
  ObjectKind kind = ObjectKind::kBitmap;
  std::unique_ptr<DibSection> dib;  // for kBitmap only
};

struct GdiState {
  std::mutex mutex;
  std::unordered_map<uintptr_t, GdiObject> objects;
  uintptr_t next_handle = 0x10000;
};

// The process's table, never destroyed, so that clean-ups running at exit
// can still delete their objects. Callers hold its mutex while they use it.
GdiState& State();

// Adds the object and returns its new handle, or 0 when out of memory.
uintptr_t AddObject(GdiState& state, GdiObject object);

// The live object of that handle and kind, or null.
GdiObject* FindObject(GdiState& state, const void* handle, ObjectKind kind);
// The live object of that handle whatever its kind, or null.
GdiObject* FindAnyObject(GdiState& state, const void* handle);

void RemoveObject(GdiState& state, const void* handle);

// Adds a device context of that kind; null, with the last error set, when out
// of memory.
HDC AddDeviceContext(GdiState& state, ObjectKind kind);

template <typename Handle>
Handle ToHandle(uintptr_t value) {
  return reinterpret_cast<Handle>(value);
}

}  // namespace repng::posix::gdi
