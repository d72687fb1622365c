// Memory device contexts.
#include "platform/posix/gdi/gdi.h"
#include "platform/posix/gdi/gdi_object_table.h"
#include "platform/posix/gdi/gdi_test_hooks.h"
#include "platform/posix/kernel32/last_error.h"

namespace {

using repng::posix::gdi::GdiObject;
using repng::posix::gdi::GdiState;
using repng::posix::gdi::ObjectKind;
namespace testing = repng::posix::testing;

}  // namespace

HDC WINAPI CreateCompatibleDC(HDC hdc) {
  GdiState& state = repng::posix::gdi::State();
  std::lock_guard lock(state.mutex);
  testing::CountGdiCall(&testing::GdiCallCounts::create_compatible_dc);
  if (testing::CreateCompatibleDCFails()) {
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
  return repng::posix::gdi::AddDeviceContext(state, ObjectKind::kMemoryDC);
}

BOOL WINAPI DeleteDC(HDC hdc) {
  GdiState& state = repng::posix::gdi::State();
  std::lock_guard lock(state.mutex);
  testing::CountGdiCall(&testing::GdiCallCounts::delete_dc);
  if (repng::posix::gdi::FindObject(state, hdc, ObjectKind::kMemoryDC) == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  repng::posix::gdi::RemoveObject(state, hdc);
  return TRUE;
}
