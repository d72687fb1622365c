// The flat GDI+ operations, with the SDK's signatures. Each returns a Status
// (Ok is success) except GdipAlloc and GdipFree. Until GdiplusStartup has
// succeeded every operation but those two returns GdiplusNotInitialized.
#pragma once

#include <cstddef>

#include "platform/gdiplus/gdiplus_types.h"
#include "platform/windows_api.h"

namespace Gdiplus {

Status WINAPI GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input, GdiplusStartupOutput* output);
VOID WINAPI GdiplusShutdown(ULONG_PTR token);

namespace DllExports {

using Gdiplus::GdiplusShutdown;
using Gdiplus::GdiplusStartup;

void* WINGDIPAPI GdipAlloc(size_t size);
void WINGDIPAPI GdipFree(void* ptr);

// Decodes the stream's content from its current position to its end. The
// bitmap keeps nothing of the stream.
Status WINGDIPAPI GdipCreateBitmapFromStream(IStream* stream, GpBitmap** bitmap);
// With a null scan0 the library owns zeroed pixels and stride is ignored;
// caller-owned pixels are not supported. 32-bit formats only.
Status WINGDIPAPI GdipCreateBitmapFromScan0(INT width, INT height, INT stride, PixelFormat format, BYTE* scan0,
                                            GpBitmap** bitmap);
// A 32-bit top-down DIB section of the bitmap composited over `background`;
// its pixels are premultiplied BGRA.
Status WINGDIPAPI GdipCreateHBITMAPFromBitmap(GpBitmap* bitmap, HBITMAP* hbmReturn, ARGB background);
Status WINGDIPAPI GdipDisposeImage(GpImage* image);
Status WINGDIPAPI GdipCloneImage(GpImage* image, GpImage** cloneImage);
Status WINGDIPAPI GdipGetImageWidth(GpImage* image, UINT* width);
Status WINGDIPAPI GdipGetImageHeight(GpImage* image, UINT* height);
Status WINGDIPAPI GdipGetImagePixelFormat(GpImage* image, PixelFormat* format);

// Locks in the bitmap's own format only; the rows lie Stride bytes apart,
// top row first.
Status WINGDIPAPI GdipBitmapLockBits(GpBitmap* bitmap, GDIPCONST GpRect* rect, UINT flags, PixelFormat format,
                                     BitmapData* lockedBitmapData);
Status WINGDIPAPI GdipBitmapUnlockBits(GpBitmap* bitmap, BitmapData* lockedBitmapData);

Status WINGDIPAPI GdipGetImageEncodersSize(UINT* numEncoders, UINT* size);
// `size` bytes at `encoders`: the records, then the strings and signature
// bytes they point to. numEncoders and size must be what
// GdipGetImageEncodersSize reported.
Status WINGDIPAPI GdipGetImageEncoders(UINT numEncoders, UINT size, ImageCodecInfo* encoders);
// Writes one complete file into the stream at its current position. No
// encoder parameters are supported.
Status WINGDIPAPI GdipSaveImageToStream(GpImage* image, IStream* stream, GDIPCONST CLSID* clsidEncoder,
                                        GDIPCONST EncoderParameters* encoderParams);

}  // namespace DllExports
}  // namespace Gdiplus
