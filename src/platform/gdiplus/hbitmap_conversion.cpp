// A native bitmap as a GDI bitmap, composited over a background colour.
#include <cstring>

#include "platform/gdiplus/gdiplus_flat.h"
#include "platform/gdiplus/library_state.h"
#include "platform/gdiplus/pixel_math.h"

using Gdiplus::Status;

namespace {

uint32_t PremultipliedOf(uint32_t pixel, Gdiplus::PixelFormat format) {
  if (format == PixelFormat32bppPARGB) return pixel;
  if (format == PixelFormat32bppRGB) return pixel | 0xFF000000u;
  return repng::pixel::Premultiply(pixel);
}

// Premultiplied source over premultiplied background, channel by channel.
uint32_t Over(uint32_t source, uint32_t background) {
  const uint32_t cover = 255 - repng::pixel::AlphaOf(source);
  if (cover == 0 || background == 0) return source;
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const uint32_t s = (source >> shift) & 0xFF;
    const uint32_t b = (background >> shift) & 0xFF;
    out |= (s + (b * cover + 127) / 255) << shift;
  }
  return out;
}

}  // namespace

namespace Gdiplus::DllExports {

Status WINGDIPAPI GdipCreateHBITMAPFromBitmap(GpBitmap* bitmap, HBITMAP* hbmReturn, ARGB background) {
  if (!repng::gdiplus::IsStarted()) return GdiplusNotInitialized;
  if (bitmap == nullptr || hbmReturn == nullptr) return InvalidParameter;
  *hbmReturn = nullptr;
  const repng::gdiplus::BitmapStorage& storage = *repng::gdiplus::StorageOf(bitmap);
  if (storage.locked) return WrongState;

  BITMAPINFO request{};
  request.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  request.bmiHeader.biWidth = static_cast<LONG>(storage.width);
  request.bmiHeader.biHeight = -static_cast<LONG>(storage.height);
  request.bmiHeader.biPlanes = 1;
  request.bmiHeader.biBitCount = 32;
  request.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  const HBITMAP section = CreateDIBSection(nullptr, &request, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (section == nullptr || bits == nullptr) {
    if (section != nullptr) DeleteObject(section);
    return Win32Error;
  }

  const uint32_t premultiplied_background = repng::pixel::Premultiply(background);
  const size_t count = storage.pixels.size();
  auto* out = static_cast<BYTE*>(bits);
  for (size_t i = 0; i < count; ++i) {
    const uint32_t pixel = Over(PremultipliedOf(storage.pixels[i], storage.format), premultiplied_background);
    std::memcpy(out + i * sizeof pixel, &pixel, sizeof pixel);
  }
  *hbmReturn = section;
  return Ok;
}

}  // namespace Gdiplus::DllExports
