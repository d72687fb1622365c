// The screen's window and its device context, kept in GDI's table of objects.
#include "platform/posix/gdi/gdi_object_table.h"
#include "platform/posix/kernel32/last_error.h"
#include "platform/posix/user/user.h"

namespace {

using repng::posix::gdi::GdiState;
using repng::posix::gdi::ObjectKind;

// The desktop window is not an object of the table; it only has to be a
// stable value that no table handle can take.
const HWND kDesktopWindow = reinterpret_cast<HWND>(uintptr_t{0x10});

}  // namespace

HWND WINAPI GetDesktopWindow() { return kDesktopWindow; }

HDC WINAPI GetDC(HWND hWnd) {
  if (hWnd != nullptr && hWnd != kDesktopWindow) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  GdiState& state = repng::posix::gdi::State();
  std::lock_guard lock(state.mutex);
  return repng::posix::gdi::AddDeviceContext(state, ObjectKind::kScreenDC);
}

int WINAPI ReleaseDC(HWND, HDC hDC) {
  GdiState& state = repng::posix::gdi::State();
  std::lock_guard lock(state.mutex);
  if (repng::posix::gdi::FindObject(state, hDC, ObjectKind::kScreenDC) == nullptr) return 0;
  repng::posix::gdi::RemoveObject(state, hDC);
  return 1;
}
