#include "platform/posix/gdi/gdi_object_table.h"

#include <new>

#include "platform/posix/kernel32/last_error.h"

namespace repng::posix::gdi {

GdiState& State() {
  static GdiState* state = new GdiState;
  return *state;
}

uintptr_t AddObject(GdiState& state, GdiObject object) {
  // Handles are never used again, so a stale handle cannot name a newer object.
  const uintptr_t handle = state.next_handle;
  try {
    state.objects.emplace(handle, std::move(object));
  } catch (const std::bad_alloc&) {
    return 0;
  }
  state.next_handle += 4;
  return handle;
}

GdiObject* FindAnyObject(GdiState& state, const void* handle) {
  const auto found = state.objects.find(reinterpret_cast<uintptr_t>(handle));
  return found == state.objects.end() ? nullptr : &found->second;
}

GdiObject* FindObject(GdiState& state, const void* handle, ObjectKind kind) {
  GdiObject* object = FindAnyObject(state, handle);
  return object != nullptr && object->kind == kind ? object : nullptr;
}

void RemoveObject(GdiState& state, const void* handle) {
  state.objects.erase(reinterpret_cast<uintptr_t>(handle));
}

HDC AddDeviceContext(GdiState& state, ObjectKind kind) {
  GdiObject object;
  object.kind = kind;
  const uintptr_t handle = AddObject(state, std::move(object));
  if (handle == 0) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return ToHandle<HDC>(handle);
}

}  // namespace repng::posix::gdi
