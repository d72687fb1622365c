// libFuzzer targets through the program's own calls, REPNG_FUZZ_CHECK names
// the check: CheckLoad feeds file bytes to LoadImageToHBitmap; CheckRoundTrip
// encodes a small bitmap made from the bytes with EncodeHBitmapToPng and
// decodes it back. A broken contract is printed and stops the fuzzer.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "imaging/imaging.h"
#include "imaging/memory_dc_cache.h"
#include "codecs/image_decoder.h"
#include "platform/gdiplus/gdiplus_test_hooks.h"
#include "platform/gdiplus/pixel_math.h"
#include "platform/posix/gdi/gdi_test_hooks.h"
#include "platform/posix/global_memory/global_memory_test_hooks.h"

namespace repng::fuzz {
namespace {

// The handle tables stay reachable, so LeakSanitizer cannot see an object
// left in them: they are counted before and after each input. The encoder
// keeps a memory context between calls on purpose; LLVMFuzzerInitialize puts
// it in place before the first count.
size_t LivePlatformObjects() {
  return posix::testing::LiveGlobalBlockCount() + gdiplus::testing::LiveImageCount() +
         posix::testing::LiveGdiObjectCount();
}

BITMAPINFO Info32(uint32_t width, uint32_t height, bool bottom_up) {
  BITMAPINFO info{};
  info.bmiHeader = {.biSize = sizeof(BITMAPINFOHEADER), .biWidth = LONG(width),
                    .biHeight = bottom_up ? LONG(height) : -LONG(height), .biPlanes = 1, .biBitCount = 32,
                    .biCompression = BI_RGB};
  return info;
}

// A handle exactly when the library's decoder takes the bytes, holding the
// decoded picture premultiplied. A handle that DeleteObject refuses stays
// live, and the count of platform objects sees it.
[[maybe_unused]] std::string CheckLoad(const uint8_t* data, size_t size) {
  codecs::DecodedImage expected;
  const codecs::DecodeResult decoded = codecs::DecodeImage(data, size, &expected);
  const HBITMAP handle = LoadImageToHBitmap(data, UINT(size));
  if (handle == nullptr) return decoded == codecs::DecodeResult::kOk ? "the load refuses what the decoder takes" : "";
  const std::unique_ptr<std::remove_pointer_t<HBITMAP>, decltype(&DeleteObject)> owner(handle, DeleteObject);
  // Memory may run out on one attempt and not the other.
  if (decoded == codecs::DecodeResult::kOutOfMemory) return "";
  if (decoded != codecs::DecodeResult::kOk) return "the load takes what the decoder refuses";
  BITMAPINFO request = Info32(expected.width, expected.height, false);
  std::vector<uint32_t> pixels(expected.argb.size());
  const HDC context = CreateCompatibleDC(nullptr);
  const int rows = GetDIBits(context, handle, 0, expected.height, pixels.data(), &request, DIB_RGB_COLORS);
  DeleteDC(context);
  BITMAP description{};
  GetObjectW(handle, sizeof description, &description);
  if (description.bmWidth != LONG(expected.width) || description.bmHeight != LONG(expected.height) ||
      description.bmBitsPixel != 32 || rows != LONG(expected.height))
    return "the bitmap is not the decoded picture's size and depth";
  return std::ranges::equal(pixels, expected.argb, {}, {}, pixel::Premultiply) ? "" : "the pixels differ";
}

struct Bitmap {
  uint32_t width = 0, height = 0;
  bool bottom_up = false;
  std::vector<uint32_t> pixels;  // top-down, valid premultiplied
};

// The bytes: width byte, height byte, shape byte, then the palette when the
// shape asks for one (4 bytes an entry) and the pixels (4 bytes each, or 1
// or 2 index bytes); missing bytes read as 0. Shape bits 0-1 alpha (any,
// opaque, 0 or 255, edge levels), bit 2 gray, bits 3-4 gray depth (8, 1, 2,
// 4), bits 5-7 palette size, so that every reduction of the encoder is
// reached; width bit 7 asks for bottom-up rows.
Bitmap SyntheticBitmap(const uint8_t* data, size_t size) {
  size_t offset = 0;
  const auto next = [&]() -> uint32_t { return offset < size ? data[offset++] : 0; };
  Bitmap bitmap;
  const uint32_t width_byte = next();
  bitmap.width = 1 + width_byte % 32;
  bitmap.height = 1 + next() % 32;
  bitmap.bottom_up = (width_byte & 0x80) != 0;
  const uint32_t shape = next();
  constexpr uint32_t kGrayBits[] = {8, 1, 2, 4};
  constexpr uint32_t kPaletteSizes[] = {0, 1, 2, 4, 16, 255, 256, 257};
  constexpr uint32_t kEdgeLevels[] = {0, 1, 254, 255};
  const uint32_t gray_bits = (shape & 4) == 0 ? 0 : kGrayBits[(shape >> 3) & 3];
  const auto next_pixel = [&]() -> uint32_t {
    const uint32_t byte = next();
    const uint32_t kind = shape & 3;
    const uint32_t alpha = kind == 0 ? byte : kind == 1 ? 255 : kind == 2 ? (byte & 1) * 255 : kEdgeLevels[byte & 3];
    if (gray_bits != 0) {
      // A straight gray at the depth, so that opaque pictures can shrink to it.
      const uint32_t levels = (1u << gray_bits) - 1;
      const uint32_t gray = pixel::PremultiplyChannel(next() % (levels + 1) * (255 / levels), alpha);
      return alpha << 24 | gray << 16 | gray << 8 | gray;
    }
    // Every channel up to alpha reaches every valid premultiplied pixel.
    uint32_t argb = alpha << 24;
    for (const int shift : {16, 8, 0}) argb |= (next() % (alpha + 1)) << shift;
    return argb;
  };
  std::vector<uint32_t> palette(kPaletteSizes[shape >> 5]);
  for (uint32_t& entry : palette) entry = next_pixel();
  for (size_t i = 0; i < size_t{bitmap.width} * bitmap.height; ++i) {
    const uint32_t index = palette.size() > 256 ? next() << 8 | next() : next();
    bitmap.pixels.push_back(palette.empty() ? next_pixel() : palette[index % palette.size()]);
  }
  return bitmap;
}

// The PNG decodes to the same premultiplied pixels.
[[maybe_unused]] std::string CheckRoundTrip(const uint8_t* data, size_t size) {
  const Bitmap bitmap = SyntheticBitmap(data, size);
  const BITMAPINFO request = Info32(bitmap.width, bitmap.height, bitmap.bottom_up);
  void* bits = nullptr;
  const HBITMAP section = CreateDIBSection(nullptr, &request, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (section == nullptr) return "CreateDIBSection failed";
  for (uint32_t y = 0; y < bitmap.height; ++y)
    std::memcpy(static_cast<uint32_t*>(bits) + size_t{bitmap.bottom_up ? bitmap.height - 1 - y : y} * bitmap.width,
                &bitmap.pixels[size_t{y} * bitmap.width], bitmap.width * 4);
  UINT length = 0;
  const std::unique_ptr<BYTE[]> png = EncodeHBitmapToPng(section, &length);
  DeleteObject(section);
  codecs::DecodedImage decoded;
  if (png == nullptr || codecs::DecodePng(png.get(), length, &decoded) != codecs::DecodeResult::kOk)
    return "no PNG that decodes";
  if (decoded.width != bitmap.width || decoded.height != bitmap.height) return "the PNG has another size";
  return std::ranges::equal(decoded.argb, bitmap.pixels, {}, pixel::Premultiply) ? "" : "the pixels differ";
}

}  // namespace
}  // namespace repng::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  ReleaseMemoryDC(AcquireMemoryDC());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > UINT32_MAX) return 0;
  const size_t objects_before = repng::fuzz::LivePlatformObjects();
  std::string failure = repng::fuzz::REPNG_FUZZ_CHECK(data, size);
  if (failure.empty() && repng::fuzz::LivePlatformObjects() != objects_before) failure = "a platform object was left";
  if (failure.empty()) return 0;
  std::fprintf(stderr, "%s\n", failure.c_str());
  std::abort();
}
