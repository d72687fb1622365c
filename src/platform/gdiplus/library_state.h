// What the library's flat operations share: whether it is started, and the
// native bitmap behind every GpImage.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/gdiplus/gdiplus_types.h"

namespace repng::gdiplus {

bool IsStarted();

// Every native image of this library is a 32-bit bitmap, rows top-down with
// no gap.
struct BitmapStorage final : Gdiplus::GpBitmap {
  uint32_t width = 0;
  uint32_t height = 0;
  Gdiplus::PixelFormat format = PixelFormat32bppARGB;
  std::vector<uint32_t> pixels;  // width * height
  bool locked = false;
};

inline BitmapStorage* StorageOf(Gdiplus::GpImage* image) {
  return static_cast<BitmapStorage*>(static_cast<Gdiplus::GpBitmap*>(image));
}

// True for the formats a bitmap of this library can have.
bool IsSupportedFormat(Gdiplus::PixelFormat format);

// A new bitmap holding `pixels` (empty: zeroed ones), or null when out of
// memory. The size must already be allowed (repng::codecs::DimensionsAllowed).
std::unique_ptr<BitmapStorage> NewBitmapStorage(uint32_t width, uint32_t height, Gdiplus::PixelFormat format,
                                                std::vector<uint32_t> pixels = {});

}  // namespace repng::gdiplus
