#include "round_trip_check.h"

#include <cstring>
#include <memory>
#include <string>
#include <type_traits>

#include "imaging/imaging.h"
#include "leak_watch.h"
#include "platform/gdiplus/codecs/image_decoder.h"
#include "platform/gdiplus/pixel_math.h"
#include "synthetic_bitmap.h"

namespace repng::fuzz {
namespace {

struct BitmapDelete {
  void operator()(HBITMAP handle) const { DeleteObject(handle); }
};
using BitmapHandle = std::unique_ptr<std::remove_pointer_t<HBITMAP>, BitmapDelete>;

BitmapHandle MakeSection(const SyntheticBitmap& bitmap) {
  BITMAPINFO request{};
  request.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  request.bmiHeader.biWidth = LONG(bitmap.width);
  request.bmiHeader.biHeight = bitmap.bottom_up ? LONG(bitmap.height) : -LONG(bitmap.height);
  request.bmiHeader.biPlanes = 1;
  request.bmiHeader.biBitCount = 32;
  request.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  BitmapHandle section(CreateDIBSection(nullptr, &request, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (section == nullptr || bits == nullptr) return nullptr;
  const size_t row_bytes = size_t(bitmap.width) * sizeof(uint32_t);
  for (uint32_t y = 0; y < bitmap.height; ++y) {
    const uint32_t stored_row = bitmap.bottom_up ? bitmap.height - 1 - y : y;
    std::memcpy(static_cast<uint8_t*>(bits) + stored_row * row_bytes, &bitmap.pixels[size_t(y) * bitmap.width],
                row_bytes);
  }
  return section;
}

std::string CheckEncoded(const SyntheticBitmap& bitmap, const BYTE* png, UINT length) {
  codecs::DecodedImage decoded;
  if (codecs::DecodePng(png, length, &decoded) != codecs::DecodeResult::kOk) return "the PNG does not decode";
  if (decoded.width != bitmap.width || decoded.height != bitmap.height) return "the PNG has another size";
  for (size_t i = 0; i < bitmap.pixels.size(); ++i) {
    if (pixel::Premultiply(decoded.argb[i]) != bitmap.pixels[i]) {
      return "pixel " + std::to_string(i) + " comes back changed";
    }
  }
  return "";
}

}  // namespace

std::string CheckRoundTrip(const uint8_t* data, size_t size) {
  const SyntheticBitmap bitmap = SyntheticBitmapFromBytes(data, size);
  std::string failure;
  const LeakWatch watch;
  {
    const BitmapHandle section = MakeSection(bitmap);
    if (section == nullptr) return "CreateDIBSection failed";
    UINT length = 0;
    const std::unique_ptr<BYTE[]> png = EncodeHBitmapToPng(section.get(), &length);
    failure = png == nullptr ? "the encoder gave nothing" : CheckEncoded(bitmap, png.get(), length);
  }
  if (failure.empty()) failure = watch.Leftover();
  return failure;
}

}  // namespace repng::fuzz
