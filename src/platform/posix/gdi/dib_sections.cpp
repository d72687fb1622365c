// 32-bit DIB sections: creation, description, row copies and deletion.
#include <algorithm>
#include <cstring>
#include <new>

#include "platform/posix/gdi/gdi.h"
#include "platform/posix/gdi/gdi_object_table.h"
#include "platform/posix/gdi/gdi_test_hooks.h"
#include "platform/posix/kernel32/last_error.h"

namespace {

using repng::posix::gdi::DibSection;
using repng::posix::gdi::GdiObject;
using repng::posix::gdi::GdiState;
using repng::posix::gdi::ObjectKind;
namespace testing = repng::posix::testing;

// Larger sections are refused before any allocation.
constexpr uint64_t kMaxDibBytes = 0x7FFFFFFF;
constexpr WORD kBitsPerPixel = 32;

bool Is32BitRgbHeader(const BITMAPINFOHEADER& header) {
  return header.biSize >= sizeof(BITMAPINFOHEADER) && header.biPlanes == 1 &&
         header.biBitCount == kBitsPerPixel && header.biCompression == BI_RGB;
}

const BYTE* RowOf(const DibSection& dib, LONG top_down_row) {
  const LONG stored = dib.top_down ? top_down_row : dib.height - 1 - top_down_row;
  return dib.bits.get() + static_cast<size_t>(stored) * static_cast<size_t>(dib.width) * 4;
}

bool IsDeviceContext(GdiState& state, HDC hdc) {
  const GdiObject* object = repng::posix::gdi::FindAnyObject(state, hdc);
  return object != nullptr && object->kind != ObjectKind::kBitmap;
}

}  // namespace

HBITMAP WINAPI CreateDIBSection(HDC hdc, const BITMAPINFO* pbmi, UINT usage, void** ppvBits,
                                HANDLE hSection, DWORD) {
  if (ppvBits != nullptr) *ppvBits = nullptr;
  if (pbmi == nullptr || usage != DIB_RGB_COLORS || hSection != nullptr ||
      !Is32BitRgbHeader(pbmi->bmiHeader)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const int64_t width = pbmi->bmiHeader.biWidth;
  const int64_t signed_height = pbmi->bmiHeader.biHeight;
  const int64_t height = signed_height < 0 ? -signed_height : signed_height;
  if (width <= 0 || height <= 0 || static_cast<uint64_t>(width * height) * 4 > kMaxDibBytes) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }

  GdiObject object;
  object.dib.reset(new (std::nothrow) DibSection);
  if (object.dib == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  object.dib->width = static_cast<LONG>(width);
  object.dib->height = static_cast<LONG>(height);
  object.dib->top_down = signed_height < 0;
  object.dib->bits.reset(new (std::nothrow) BYTE[static_cast<size_t>(width * height * 4)]());
  if (object.dib->bits == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  BYTE* const bits = object.dib->bits.get();

  GdiState& state = repng::posix::gdi::State();
  std::lock_guard lock(state.mutex);
  if (hdc != nullptr && !IsDeviceContext(state, hdc)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  const uintptr_t handle = repng::posix::gdi::AddObject(state, std::move(object));
  if (handle == 0) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (ppvBits != nullptr) *ppvBits = bits;
  return repng::posix::gdi::ToHandle<HBITMAP>(handle);
}

int WINAPI GetObjectW(HANDLE h, int c, LPVOID pv) {
  GdiState& state = repng::posix::gdi::State();
  std::lock_guard lock(state.mutex);
  testing::CountGdiCall(&testing::GdiCallCounts::get_object);
  const GdiObject* object = repng::posix::gdi::FindObject(state, h, ObjectKind::kBitmap);
  if (object == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  constexpr int kBitmapSize = static_cast<int>(sizeof(BITMAP));
  if (pv == nullptr) return kBitmapSize;
  if (c < kBitmapSize) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  const DibSection& dib = *object->dib;
  BITMAP description{};
  description.bmType = 0;
  description.bmWidth = dib.width;
  description.bmHeight = dib.height;
  description.bmWidthBytes = dib.width * 4;
  description.bmPlanes = 1;
  description.bmBitsPixel = kBitsPerPixel;
  description.bmBits = dib.bits.get();
  std::memcpy(pv, &description, sizeof description);
  return kBitmapSize;
}

int WINAPI GetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, LPVOID lpvBits, LPBITMAPINFO lpbmi,
                     UINT usage) {
  GdiState& state = repng::posix::gdi::State();
  std::lock_guard lock(state.mutex);
  testing::CountGdiCall(&testing::GdiCallCounts::get_dibits);
  const GdiObject* object = repng::posix::gdi::FindObject(state, hbm, ObjectKind::kBitmap);
  if (hdc == nullptr || !IsDeviceContext(state, hdc) || object == nullptr || lpbmi == nullptr ||
      usage != DIB_RGB_COLORS || lpbmi->bmiHeader.biSize < sizeof(BITMAPINFOHEADER)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const DibSection& dib = *object->dib;
  BITMAPINFOHEADER& header = lpbmi->bmiHeader;

  if (lpvBits == nullptr) {
    header.biWidth = dib.width;
    header.biHeight = dib.height;
    header.biPlanes = 1;
    header.biBitCount = kBitsPerPixel;
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(dib.width * dib.height * 4);
    return dib.height;
  }

  const int64_t requested_height = header.biHeight;
  const bool top_down = requested_height < 0;
  if (!Is32BitRgbHeader(header) || header.biWidth != dib.width ||
      (top_down ? -requested_height : requested_height) != dib.height || start >= UINT(dib.height)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const UINT rows = testing::LimitGetDIBitsRows(std::min(cLines, UINT(dib.height) - start));

  const size_t row_bytes = static_cast<size_t>(dib.width) * 4;
  BYTE* out = static_cast<BYTE*>(lpvBits);
  for (UINT i = 0; i < rows; ++i) {
    // Scan lines count from the top for a top-down request, from the bottom otherwise.
    const LONG scan_line = static_cast<LONG>(start + i);
    const LONG top_down_row = top_down ? scan_line : dib.height - 1 - scan_line;
    std::memcpy(out + i * row_bytes, RowOf(dib, top_down_row), row_bytes);
  }
  return static_cast<int>(rows);
}

BOOL WINAPI DeleteObject(HGDIOBJ ho) {
  GdiState& state = repng::posix::gdi::State();
  std::lock_guard lock(state.mutex);
  if (repng::posix::gdi::FindObject(state, ho, ObjectKind::kBitmap) == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  repng::posix::gdi::RemoveObject(state, ho);
  return TRUE;
}

DWORD WINAPI GetObjectType(HGDIOBJ h) {
  GdiState& state = repng::posix::gdi::State();
  std::lock_guard lock(state.mutex);
  const GdiObject* object = repng::posix::gdi::FindAnyObject(state, h);
  if (object == nullptr) return 0;
  switch (object->kind) {
    case ObjectKind::kBitmap: return OBJ_BITMAP;
    case ObjectKind::kMemoryDC: return OBJ_MEMDC;
    case ObjectKind::kScreenDC: return OBJ_DC;
  }
  return 0;
}
