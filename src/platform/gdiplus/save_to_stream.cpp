// Saving a native bitmap through an encoder of the list into a stream.
#include <algorithm>
#include <vector>

#include "platform/gdiplus/encoder_registry.h"
#include "platform/gdiplus/gdiplus_flat.h"
#include "platform/gdiplus/library_state.h"
#include "platform/gdiplus/pixel_math.h"

using Gdiplus::Status;

namespace {

// The bitmap's pixels as premultiplied rows for the encoder: the pixels
// themselves when they already are, else a converted copy in *converted.
const uint32_t* PremultipliedPixels(const repng::gdiplus::BitmapStorage& storage,
                                    std::vector<uint32_t>* converted) {
  if (storage.format == PixelFormat32bppPARGB) return storage.pixels.data();
  converted->resize(storage.pixels.size());
  for (size_t i = 0; i < storage.pixels.size(); ++i) {
    const uint32_t pixel = storage.pixels[i];
    (*converted)[i] = storage.format == PixelFormat32bppRGB ? pixel | 0xFF000000u
                                                                      : repng::pixel::Premultiply(pixel);
  }
  return converted->data();
}

Status WriteAll(IStream* stream, const std::vector<uint8_t>& bytes) {
  size_t written = 0;
  while (written < bytes.size()) {
    const ULONG chunk = static_cast<ULONG>(std::min<size_t>(bytes.size() - written, 1u << 30));
    ULONG done = 0;
    const HRESULT result = stream->Write(bytes.data() + written, chunk, &done);
    if (FAILED(result) || done == 0 || done > chunk) return Gdiplus::Win32Error;
    written += done;
  }
  return Gdiplus::Ok;
}

}  // namespace

namespace Gdiplus::DllExports {

Status WINGDIPAPI GdipSaveImageToStream(GpImage* image, IStream* stream, GDIPCONST CLSID* clsidEncoder,
                                        GDIPCONST EncoderParameters* encoderParams) {
  if (!repng::gdiplus::IsStarted()) return GdiplusNotInitialized;
  if (image == nullptr || stream == nullptr || clsidEncoder == nullptr) return InvalidParameter;
  if (encoderParams != nullptr && encoderParams->Count > 0) return NotImplemented;
  const repng::gdiplus::BitmapStorage& storage = *repng::gdiplus::StorageOf(image);
  if (storage.locked) return WrongState;

  try {
    const std::optional<repng::gdiplus::EncodeFunction> encode = repng::gdiplus::FindEncoder(*clsidEncoder);
    if (!encode) return FileNotFound;
    std::vector<uint32_t> converted;
    const uint32_t* pixels = PremultipliedPixels(storage, &converted);
    std::vector<uint8_t> file;
    if (!(*encode)(reinterpret_cast<const uint8_t*>(pixels), storage.width, storage.height,
                   size_t{storage.width} * 4, &file) ||
        file.empty()) {
      return GenericError;
    }
    return WriteAll(stream, file);
  } catch (const std::bad_alloc&) {
    return OutOfMemory;
  }
}

}  // namespace Gdiplus::DllExports
