// The GDI+ wrapper classes: objects in GdipAlloc storage that hold a native
// image and the status of their last failed call.
#pragma once

#include <cstddef>

#include "platform/gdiplus/gdiplus_flat.h"
#include "platform/gdiplus/gdiplus_types.h"

namespace Gdiplus {

class GdiplusBase {
 public:
  // noexcept: when GdipAlloc gives null, the new-expression yields null and
  // runs no constructor.
  static void* operator new(size_t size) noexcept { return DllExports::GdipAlloc(size); }
  static void* operator new[](size_t size) noexcept { return DllExports::GdipAlloc(size); }
  static void operator delete(void* pointer) noexcept { DllExports::GdipFree(pointer); }
  static void operator delete[](void* pointer) noexcept { DllExports::GdipFree(pointer); }
};

class Image : public GdiplusBase {
 public:
  virtual ~Image();
  // A new wrapper around a copy of the native image, or null when no
  // storage could be had (the copy is then disposed of).
  virtual Image* Clone();

  // Returns the last failed call's status and resets it to Ok.
  Status GetLastStatus() const;

  Status Save(IStream* stream, const CLSID* clsidEncoder, const EncoderParameters* encoderParams = nullptr);
  UINT GetWidth();
  UINT GetHeight();

  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

 protected:
  Image(GpImage* image, Status status) : nativeImage(image), lastResult(status) {}

  // Stores a failure as the last status; returns the status given.
  Status SetStatus(Status status) const;

  GpImage* nativeImage;
  mutable Status lastResult;
};

class Bitmap : public Image {
 public:
  explicit Bitmap(IStream* stream, BOOL useEmbeddedColorManagement = FALSE);
  Bitmap(INT width, INT height, PixelFormat format = PixelFormat32bppARGB);

  Status LockBits(const Rect* rect, UINT flags, PixelFormat format, BitmapData* lockedBitmapData);
  Status UnlockBits(BitmapData* lockedBitmapData);
  Status GetHBITMAP(const Color& colorBackground, HBITMAP* hbmReturn);

 private:
  GpBitmap* NativeBitmap() const { return static_cast<GpBitmap*>(nativeImage); }
};

}  // namespace Gdiplus
