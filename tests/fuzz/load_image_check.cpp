#include "load_image_check.h"

#include <vector>

#include "imaging/imaging.h"
#include "leak_watch.h"
#include "platform/gdiplus/codecs/image_decoder.h"
#include "platform/gdiplus/pixel_math.h"

namespace repng::fuzz {
namespace {

// The handle's pixels top-down, or empty when they cannot be read whole.
std::vector<uint32_t> ReadPixels(HBITMAP handle, const BITMAP& description) {
  BITMAPINFO request{};
  request.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  request.bmiHeader.biWidth = description.bmWidth;
  request.bmiHeader.biHeight = -description.bmHeight;
  request.bmiHeader.biPlanes = 1;
  request.bmiHeader.biBitCount = 32;
  request.bmiHeader.biCompression = BI_RGB;
  std::vector<uint32_t> pixels(size_t(description.bmWidth) * size_t(description.bmHeight));
  const HDC context = CreateCompatibleDC(nullptr);
  const int rows = GetDIBits(context, handle, 0, UINT(description.bmHeight), pixels.data(), &request,
                             DIB_RGB_COLORS);
  DeleteDC(context);
  if (rows != description.bmHeight) return {};
  return pixels;
}

std::string CheckHandle(HBITMAP handle, const codecs::DecodedImage& expected) {
  BITMAP description{};
  if (GetObjectW(handle, sizeof description, &description) != sizeof description) return "GetObjectW failed";
  if (description.bmWidth <= 0 || description.bmHeight <= 0 ||
      uint32_t(description.bmWidth) != expected.width || uint32_t(description.bmHeight) != expected.height) {
    return "the bitmap's size is not the decoded picture's";
  }
  if (description.bmBitsPixel != 32) return "the bitmap is not 32 bits per pixel";
  const std::vector<uint32_t> pixels = ReadPixels(handle, description);
  if (pixels.size() != expected.argb.size()) return "GetDIBits did not copy every row";
  for (size_t i = 0; i < pixels.size(); ++i) {
    if (!pixel::IsValidPremultiplied(pixels[i])) return "a pixel is not valid premultiplied";
    if (pixels[i] != pixel::Premultiply(expected.argb[i])) return "a pixel differs from the decoded picture";
  }
  return "";
}

}  // namespace

std::string CheckLoadImage(const uint8_t* data, size_t size) {
  if (size > UINT32_MAX) return "";
  std::string failure;
  const LeakWatch watch;
  {
    codecs::DecodedImage expected;
    const codecs::DecodeResult decoded = codecs::DecodeImage(data, size, &expected);
    const HBITMAP handle = LoadImageToHBitmap(data, UINT(size));
    if (handle == nullptr) {
      if (decoded == codecs::DecodeResult::kOk) failure = "the decoder takes the bytes but the load gives null";
    } else {
      if (decoded == codecs::DecodeResult::kOk) {
        failure = CheckHandle(handle, expected);
      } else if (decoded != codecs::DecodeResult::kOutOfMemory) {
        // Memory may run out on one attempt and not the other; nothing else
        // may differ.
        failure = "the load gives a bitmap for bytes the decoder refuses";
      }
      if (!DeleteObject(handle) && failure.empty()) failure = "DeleteObject refused the handle";
    }
  }
  if (failure.empty()) failure = watch.Leftover();
  return failure;
}

}  // namespace repng::fuzz
