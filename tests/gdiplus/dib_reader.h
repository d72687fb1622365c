// Reading a GDI bitmap's pixels back for comparisons in tests.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/windows_api.h"

namespace repng::test {

inline BITMAPINFO TopDown32(LONG width, LONG height) {
  BITMAPINFO request{};
  request.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  request.bmiHeader.biWidth = width;
  request.bmiHeader.biHeight = -height;
  request.bmiHeader.biPlanes = 1;
  request.bmiHeader.biBitCount = 32;
  request.bmiHeader.biCompression = BI_RGB;
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
  DibPixels out;
  out.width = description.bmWidth;
  out.height = description.bmHeight;
  out.pixels.resize(size_t(out.width) * size_t(out.height));
  BITMAPINFO request = TopDown32(out.width, out.height);
  const HDC context = CreateCompatibleDC(nullptr);
  const int rows = GetDIBits(context, bitmap, 0, UINT(out.height), out.pixels.data(), &request, DIB_RGB_COLORS);
  DeleteDC(context);
  if (rows != out.height) return {};
  return out;
}

// A new 32-bit top-down DIB section holding `pixels`.
inline HBITMAP MakeDibSection(LONG width, LONG height, const std::vector<uint32_t>& pixels) {
  const BITMAPINFO request = TopDown32(width, height);
  void* bits = nullptr;
  const HBITMAP section = CreateDIBSection(nullptr, &request, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (section != nullptr) {
    auto* out = static_cast<uint32_t*>(bits);
    for (size_t i = 0; i < pixels.size(); ++i) out[i] = pixels[i];
  }
  return section;
}

}  // namespace repng::test
