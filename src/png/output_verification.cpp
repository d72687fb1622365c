#include "png/output_verification.h"

#include "codecs/image_decoder.h"
#include "platform/gdiplus/pixel_math.h"

namespace repng::png {

bool PngMatchesPargb(const std::vector<uint8_t>& png, const uint8_t* top_row, uint32_t width,
                     uint32_t height, size_t stride) {
  // The layer's own decoder: what it reads back is what every later reader of
  // the file will get through this library.
  codecs::DecodedImage decoded;
  if (codecs::DecodePng(png.data(), png.size(), &decoded) != codecs::DecodeResult::kOk) return false;
  if (decoded.width != width || decoded.height != height ||
      decoded.argb.size() != size_t{width} * height) {
    return false;
  }
  const uint32_t* straight = decoded.argb.data();
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* source = top_row + y * stride;
    for (uint32_t x = 0; x < width; ++x, source += 4) {
      const uint32_t expected = uint32_t{source[3]} << 24 | uint32_t{source[2]} << 16 |
                                uint32_t{source[1]} << 8 | source[0];
      if (pixel::Premultiply(*straight++) != expected) return false;
    }
  }
  return true;
}

}  // namespace repng::png
