// Making and reading back 32-bit GDI bitmaps in tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/windows_api.h"

namespace repng::test {

inline BITMAPINFO TopDown32(LONG width, LONG height) {
  BITMAPINFO request{};
  request.bmiHeader = {DWORD(sizeof(BITMAPINFOHEADER)), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  return request;
}

struct DibPixels {
  LONG width = 0;
  LONG height = 0;
  std::vector<uint32_t> pixels;  // top-down, premultiplied 0xAARRGGBB
  bool operator==(const DibPixels&) const = default;
};

// The bitmap's pixels, or an empty record when it cannot be read.
inline DibPixels ReadDibPixels(HBITMAP bitmap) {
  BITMAP description{};
  if (GetObjectW(bitmap, sizeof description, &description) == 0) return {};
  DibPixels out{description.bmWidth, description.bmHeight, {}};
  out.pixels.resize(size_t(out.width) * size_t(out.height));
  BITMAPINFO request = TopDown32(out.width, out.height);
  const HDC context = CreateCompatibleDC(nullptr);
  const int rows = GetDIBits(context, bitmap, 0, UINT(out.height), out.pixels.data(), &request, DIB_RGB_COLORS);
  DeleteDC(context);
  return rows == out.height ? out : DibPixels{};
}

// A new 32-bit top-down DIB section holding `pixels`.
inline HBITMAP MakeDibSection(LONG width, LONG height, const std::vector<uint32_t>& pixels) {
  const BITMAPINFO request = TopDown32(width, height);
  void* bits = nullptr;
  const HBITMAP section = CreateDIBSection(nullptr, &request, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (section != nullptr) std::copy(pixels.begin(), pixels.end(), static_cast<uint32_t*>(bits));
  return section;
}

}  // namespace repng::test
