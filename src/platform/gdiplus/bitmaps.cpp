// Native bitmaps: creation, disposal, copies and locking.
#include <new>
#include <vector>

#include "codecs/image_decoder.h"
#include "platform/gdiplus/gdiplus_flat.h"
#include "platform/gdiplus/gdiplus_test_hooks.h"
#include "platform/gdiplus/library_state.h"

using Gdiplus::GpBitmap;
using Gdiplus::GpImage;
using Gdiplus::Status;

namespace {

// An encoded picture longer than this is not read: no decoder here accepts
// one, and reading it would only exhaust memory.
constexpr size_t kMaxEncodedBytes = size_t{1} << 30;
constexpr ULONG kReadChunkBytes = 1u << 20;

// The rest of the stream from its current position, or the status to fail with.
Status ReadRestOfStream(IStream* stream, std::vector<uint8_t>* bytes) {
  try {
    for (;;) {
      if (bytes->size() >= kMaxEncodedBytes) return Gdiplus::ValueOverflow;
      const size_t filled = bytes->size();
      bytes->resize(filled + kReadChunkBytes);
      ULONG read = 0;
      const HRESULT result = stream->Read(bytes->data() + filled, kReadChunkBytes, &read);
      if (FAILED(result) || read > kReadChunkBytes) return Gdiplus::Win32Error;
      bytes->resize(filled + read);
      if (read == 0) return Gdiplus::Ok;
    }
  } catch (const std::bad_alloc&) {
    return Gdiplus::OutOfMemory;
  }
}

Status StatusOfDecode(repng::codecs::DecodeResult result) {
  switch (result) {
    case repng::codecs::DecodeResult::kOk: return Gdiplus::Ok;
    case repng::codecs::DecodeResult::kNotRecognised: return Gdiplus::UnknownImageFormat;
    case repng::codecs::DecodeResult::kDamaged: return Gdiplus::InvalidParameter;
    case repng::codecs::DecodeResult::kSeveralFrames:
    case repng::codecs::DecodeResult::kDeepSamples:
    case repng::codecs::DecodeResult::kColourProfile:
    case repng::codecs::DecodeResult::kGamma:
    case repng::codecs::DecodeResult::kChromaticities:
    case repng::codecs::DecodeResult::kOrientation:
    case repng::codecs::DecodeResult::kOtherLayout: return Gdiplus::NotImplemented;
    case repng::codecs::DecodeResult::kTooLarge: return Gdiplus::ValueOverflow;
    case repng::codecs::DecodeResult::kOutOfMemory: return Gdiplus::OutOfMemory;
  }
  return Gdiplus::GenericError;
}

GpBitmap* HandOut(std::unique_ptr<repng::gdiplus::BitmapStorage> storage) {
  repng::gdiplus::testing::CountLiveImages(+1);
  return storage.release();
}

}  // namespace

namespace repng::gdiplus {

bool IsSupportedFormat(Gdiplus::PixelFormat format) {
  return format == PixelFormat32bppARGB || format == PixelFormat32bppPARGB ||
         format == PixelFormat32bppRGB;
}

std::unique_ptr<BitmapStorage> NewBitmapStorage(uint32_t width, uint32_t height, Gdiplus::PixelFormat format,
                                                std::vector<uint32_t> pixels) {
  std::unique_ptr<BitmapStorage> storage(new (std::nothrow) BitmapStorage);
  if (storage == nullptr) return nullptr;
  storage->width = width;
  storage->height = height;
  storage->format = format;
  try {
    if (pixels.empty()) pixels.resize(size_t{width} * height);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  storage->pixels = std::move(pixels);
  return storage;
}

}  // namespace repng::gdiplus

namespace Gdiplus::DllExports {

Status WINGDIPAPI GdipCreateBitmapFromStream(IStream* stream, GpBitmap** bitmap) {
  if (!repng::gdiplus::IsStarted()) return GdiplusNotInitialized;
  if (stream == nullptr || bitmap == nullptr) return InvalidParameter;
  *bitmap = nullptr;

  std::vector<uint8_t> encoded;
  const Status read = ReadRestOfStream(stream, &encoded);
  if (read != Ok) return read;

  repng::codecs::DecodedImage decoded;
  const Status decode =
      StatusOfDecode(repng::codecs::DecodeImage(encoded.data(), encoded.size(), &decoded));
  if (decode != Ok) return decode;
  if (!repng::codecs::DimensionsAllowed(decoded.width, decoded.height) ||
      decoded.argb.size() != size_t{decoded.width} * decoded.height) {
    return GenericError;
  }

  auto storage = repng::gdiplus::NewBitmapStorage(decoded.width, decoded.height, PixelFormat32bppARGB,
                                                  std::move(decoded.argb));
  if (storage == nullptr) return OutOfMemory;
  *bitmap = HandOut(std::move(storage));
  return Ok;
}

Status WINGDIPAPI GdipCreateBitmapFromScan0(INT width, INT height, INT, PixelFormat format, BYTE* scan0,
                                            GpBitmap** bitmap) {
  if (!repng::gdiplus::IsStarted()) return GdiplusNotInitialized;
  if (bitmap == nullptr) return InvalidParameter;
  *bitmap = nullptr;
  if (scan0 != nullptr) return NotImplemented;
  if (width <= 0 || height <= 0 || !repng::gdiplus::IsSupportedFormat(format) ||
      !repng::codecs::DimensionsAllowed(static_cast<uint64_t>(width), static_cast<uint64_t>(height))) {
    return InvalidParameter;
  }
  auto storage =
      repng::gdiplus::NewBitmapStorage(static_cast<uint32_t>(width), static_cast<uint32_t>(height), format);
  if (storage == nullptr) return OutOfMemory;
  *bitmap = HandOut(std::move(storage));
  return Ok;
}

Status WINGDIPAPI GdipDisposeImage(GpImage* image) {
  if (!repng::gdiplus::IsStarted()) return GdiplusNotInitialized;
  if (image == nullptr) return InvalidParameter;
  delete repng::gdiplus::StorageOf(image);
  repng::gdiplus::testing::CountLiveImages(-1);
  return Ok;
}

Status WINGDIPAPI GdipCloneImage(GpImage* image, GpImage** cloneImage) {
  if (!repng::gdiplus::IsStarted()) return GdiplusNotInitialized;
  if (image == nullptr || cloneImage == nullptr) return InvalidParameter;
  *cloneImage = nullptr;
  const repng::gdiplus::BitmapStorage& source = *repng::gdiplus::StorageOf(image);
  if (source.locked) return WrongState;
  std::vector<uint32_t> pixels;
  try {
    pixels = source.pixels;
  } catch (const std::bad_alloc&) {
    return OutOfMemory;
  }
  auto copy = repng::gdiplus::NewBitmapStorage(source.width, source.height, source.format, std::move(pixels));
  if (copy == nullptr) return OutOfMemory;
  *cloneImage = HandOut(std::move(copy));
  return Ok;
}

Status WINGDIPAPI GdipGetImageWidth(GpImage* image, UINT* width) {
  if (!repng::gdiplus::IsStarted()) return GdiplusNotInitialized;
  if (image == nullptr || width == nullptr) return InvalidParameter;
  *width = repng::gdiplus::StorageOf(image)->width;
  return Ok;
}

Status WINGDIPAPI GdipGetImageHeight(GpImage* image, UINT* height) {
  if (!repng::gdiplus::IsStarted()) return GdiplusNotInitialized;
  if (image == nullptr || height == nullptr) return InvalidParameter;
  *height = repng::gdiplus::StorageOf(image)->height;
  return Ok;
}

Status WINGDIPAPI GdipGetImagePixelFormat(GpImage* image, PixelFormat* format) {
  if (!repng::gdiplus::IsStarted()) return GdiplusNotInitialized;
  if (image == nullptr || format == nullptr) return InvalidParameter;
  *format = repng::gdiplus::StorageOf(image)->format;
  return Ok;
}

Status WINGDIPAPI GdipBitmapLockBits(GpBitmap* bitmap, GDIPCONST GpRect* rect, UINT flags, PixelFormat format,
                                     BitmapData* lockedBitmapData) {
  if (!repng::gdiplus::IsStarted()) return GdiplusNotInitialized;
  if (bitmap == nullptr || lockedBitmapData == nullptr) return InvalidParameter;
  repng::gdiplus::BitmapStorage& storage = *repng::gdiplus::StorageOf(bitmap);
  if ((flags & (ImageLockModeRead | ImageLockModeWrite)) == 0) return InvalidParameter;
  if ((flags & ImageLockModeUserInputBuf) != 0) return NotImplemented;
  if (format != storage.format) return InvalidParameter;

  const GpRect whole(0, 0, static_cast<INT>(storage.width), static_cast<INT>(storage.height));
  const GpRect area = rect == nullptr ? whole : *rect;
  if (area.X < 0 || area.Y < 0 || area.Width <= 0 || area.Height <= 0 ||
      int64_t{area.X} + area.Width > whole.Width || int64_t{area.Y} + area.Height > whole.Height) {
    return InvalidParameter;
  }
  if (storage.locked) return WrongState;

  storage.locked = true;
  lockedBitmapData->Width = static_cast<UINT>(area.Width);
  lockedBitmapData->Height = static_cast<UINT>(area.Height);
  lockedBitmapData->Stride = static_cast<INT>(storage.width * 4);
  lockedBitmapData->PixelFormat = storage.format;
  lockedBitmapData->Scan0 =
      storage.pixels.data() + size_t(area.Y) * storage.width + static_cast<size_t>(area.X);
  lockedBitmapData->Reserved = 0;
  return Ok;
}

Status WINGDIPAPI GdipBitmapUnlockBits(GpBitmap* bitmap, BitmapData* lockedBitmapData) {
  if (!repng::gdiplus::IsStarted()) return GdiplusNotInitialized;
  if (bitmap == nullptr || lockedBitmapData == nullptr) return InvalidParameter;
  repng::gdiplus::BitmapStorage& storage = *repng::gdiplus::StorageOf(bitmap);
  if (!storage.locked) return WrongState;
  // The caller wrote straight into the pixels; there is nothing to copy back.
  storage.locked = false;
  return Ok;
}

}  // namespace Gdiplus::DllExports
