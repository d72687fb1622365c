// Memory device contexts and the screen's context.
#include "platform/posix/gdi/gdi.h"
#include "platform/posix/gdi/gdi_object_table.h"
#include "platform/posix/gdi/user.h"
#include "platform/posix/kernel32/last_error.h"

namespace {

using repng::posix::gdi::GdiObject;
using repng::posix::gdi::GdiState;
using repng::posix::gdi::ObjectKind;

// The desktop window is not an object of the table; it only has to be a
// stable value that no table handle can take.
const HWND kDesktopWindow = reinterpret_cast<HWND>(uintptr_t{0x10});

HDC AddContext(GdiState& state, ObjectKind kind) {
  GdiObject object;
  object.kind = kind;
  const uintptr_t handle = repng::posix::gdi::AddObject(state, std::move(object));
  if (handle == 0) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return repng::posix::gdi::ToHandle<HDC>(handle);
}

}  // namespace

HDC WINAPI CreateCompatibleDC(HDC hdc) {
  GdiState& state = repng::posix::gdi::State();
  std::lock_guard lock(state.mutex);
  ++state.counts.create_compatible_dc;
  if (state.create_compatible_dc_fails) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (hdc != nullptr) {
    const GdiObject* reference = repng::posix::gdi::FindAnyObject(state, hdc);
    if (reference == nullptr || reference->kind == ObjectKind::kBitmap) {
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
    }
  }
  return AddContext(state, ObjectKind::kMemoryDC);
}

BOOL WINAPI DeleteDC(HDC hdc) {
  GdiState& state = repng::posix::gdi::State();
  std::lock_guard lock(state.mutex);
  ++state.counts.delete_dc;
  if (repng::posix::gdi::FindObject(state, hdc, ObjectKind::kMemoryDC) == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  repng::posix::gdi::RemoveObject(state, hdc);
  return TRUE;
}

HWND WINAPI GetDesktopWindow() { return kDesktopWindow; }

HDC WINAPI GetDC(HWND hWnd) {
  if (hWnd != nullptr && hWnd != kDesktopWindow) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  GdiState& state = repng::posix::gdi::State();
  std::lock_guard lock(state.mutex);
  return AddContext(state, ObjectKind::kScreenDC);
}

int WINAPI ReleaseDC(HWND, HDC hDC) {
  GdiState& state = repng::posix::gdi::State();
  std::lock_guard lock(state.mutex);
  if (repng::posix::gdi::FindObject(state, hDC, ObjectKind::kScreenDC) == nullptr) return 0;
  repng::posix::gdi::RemoveObject(state, hDC);
  return 1;
}
