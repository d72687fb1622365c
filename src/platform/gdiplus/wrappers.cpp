// The wrapper classes over the flat operations.
#include "platform/gdiplus/gdiplus_wrappers.h"

namespace Gdiplus {

Image::~Image() { DllExports::GdipDisposeImage(nativeImage); }

Image* Image::Clone() {
  GpImage* copy = nullptr;
  SetStatus(DllExports::GdipCloneImage(nativeImage, &copy));
  Image* clone = new Image(copy, lastResult);
  // Without storage for its wrapper the copy would be lost for good.
  if (clone == nullptr && copy != nullptr) DllExports::GdipDisposeImage(copy);
  return clone;
}

Status Image::GetLastStatus() const {
  const Status status = lastResult;
  lastResult = Ok;
  return status;
}

Status Image::SetStatus(Status status) const {
  if (status != Ok) lastResult = status;
  return status;
}

Status Image::Save(IStream* stream, const CLSID* clsidEncoder, const EncoderParameters* encoderParams) {
  return SetStatus(DllExports::GdipSaveImageToStream(nativeImage, stream, clsidEncoder, encoderParams));
}

UINT Image::GetWidth() {
  UINT width = 0;
  SetStatus(DllExports::GdipGetImageWidth(nativeImage, &width));
  return width;
}

UINT Image::GetHeight() {
  UINT height = 0;
  SetStatus(DllExports::GdipGetImageHeight(nativeImage, &height));
  return height;
}

Bitmap::Bitmap(IStream* stream, BOOL) : Image(nullptr, Ok) {
  // There is no colour management to embed or leave out.
  GpBitmap* bitmap = nullptr;
  lastResult = DllExports::GdipCreateBitmapFromStream(stream, &bitmap);
  nativeImage = bitmap;
}

Bitmap::Bitmap(INT width, INT height, PixelFormat format) : Image(nullptr, Ok) {
  GpBitmap* bitmap = nullptr;
  lastResult = DllExports::GdipCreateBitmapFromScan0(width, height, 0, format, nullptr, &bitmap);
  nativeImage = bitmap;
}

Status Bitmap::LockBits(const Rect* rect, UINT flags, PixelFormat format, BitmapData* lockedBitmapData) {
  return SetStatus(DllExports::GdipBitmapLockBits(NativeBitmap(), rect, flags, format, lockedBitmapData));
}

Status Bitmap::UnlockBits(BitmapData* lockedBitmapData) {
  return SetStatus(DllExports::GdipBitmapUnlockBits(NativeBitmap(), lockedBitmapData));
}

Status Bitmap::GetHBITMAP(const Color& colorBackground, HBITMAP* hbmReturn) {
  return SetStatus(DllExports::GdipCreateHBITMAPFromBitmap(NativeBitmap(), hbmReturn, colorBackground.GetValue()));
}

}  // namespace Gdiplus
