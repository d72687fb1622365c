#include "imaging/pargb_rebuild.h"

#include <cstdint>
#include <cstring>
#include <new>

#include "imaging/memory_dc_cache.h"

std::unique_ptr<UINT[]> ReadHBitmapBits(HBITMAP handle, LONG width, LONG height, bool bottomUp) {
  BITMAPINFO request = {};
  request.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  request.bmiHeader.biWidth = width;
  request.bmiHeader.biHeight = bottomUp ? height : -height;
  request.bmiHeader.biPlanes = 1;
  request.bmiHeader.biBitCount = 32;
  request.bmiHeader.biCompression = BI_RGB;
  if (width <= 0 || height <= 0) return nullptr;

  const uint64_t bytes = uint64_t(width) * uint64_t(height) * 4;
  if (bytes > UINT32_MAX) throw std::bad_alloc();
  auto pixels = std::make_unique_for_overwrite<UINT[]>(size_t(width) * size_t(height));

  const HDC context = AcquireMemoryDC();
  const int rows = GetDIBits(context, handle, 0, UINT(height), pixels.get(), &request, DIB_RGB_COLORS);
  ReleaseMemoryDC(context);
  // Fewer rows than asked would leave the rest of the buffer unset.
  if (rows != height) return nullptr;
  return pixels;
}

std::unique_ptr<Gdiplus::Bitmap> CreatePargbBitmapFromHBitmap(HBITMAP handle) {
  if (handle == nullptr) return nullptr;
  BITMAP description = {};
  if (GetObjectW(handle, sizeof description, &description) == 0) return nullptr;
  const LONG width = description.bmWidth;
  const LONG height = description.bmHeight;

  std::unique_ptr<Gdiplus::Bitmap> bitmap(new Gdiplus::Bitmap(width, height, PixelFormat32bppPARGB));
  if (bitmap == nullptr) return nullptr;
  // A bitmap that could not be made fails here, with the status it stored.
  const Gdiplus::Rect whole(0, 0, width, height);
  Gdiplus::BitmapData locked = {};
  if (bitmap->LockBits(&whole, Gdiplus::ImageLockModeWrite, PixelFormat32bppPARGB, &locked) != Gdiplus::Ok) {
    return nullptr;
  }

  // One block copy needs rows exactly width * 4 bytes apart.
  const int64_t row_bytes = int64_t(width) * 4;
  const int64_t stride = locked.Stride;
  if (locked.Scan0 == nullptr || (stride != row_bytes && stride != -row_bytes) || locked.Width != UINT(width) ||
      locked.Height != UINT(height)) {
    bitmap->UnlockBits(&locked);
    return nullptr;
  }

  std::unique_ptr<UINT[]> pixels;
  try {
    pixels = ReadHBitmapBits(handle, width, height, stride < 0);
  } catch (...) {
    bitmap->UnlockBits(&locked);
    throw;
  }
  if (pixels == nullptr) {
    bitmap->UnlockBits(&locked);
    return nullptr;
  }

  BYTE* const top_row = static_cast<BYTE*>(locked.Scan0);
  BYTE* const lowest_row = stride > 0 ? top_row : top_row + (int64_t(height) - 1) * stride;
  std::memcpy(lowest_row, pixels.get(), size_t(row_bytes) * size_t(height));
  pixels.reset();

  if (bitmap->UnlockBits(&locked) != Gdiplus::Ok) return nullptr;
  return bitmap;
}
