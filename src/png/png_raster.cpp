#include "png/png_raster.h"

#include <limits>

namespace repng::png {

uint32_t ChannelsOf(ColorType type) {
  switch (type) {
    case ColorType::kGray: return 1;
    case ColorType::kRgb: return 3;
    case ColorType::kPalette: return 1;
    case ColorType::kGrayAlpha: return 2;
    case ColorType::kRgba: return 4;
  }
  return 4;
}

size_t RowBytesOf(uint32_t width, ColorType type, uint8_t bit_depth) {
  const uint64_t bits_per_pixel = uint64_t{ChannelsOf(type)} * bit_depth;
  const uint64_t bytes = (uint64_t{width} * bits_per_pixel + 7) / 8;
  if (bytes >= std::numeric_limits<size_t>::max()) return 0;
  return static_cast<size_t>(bytes);
}

size_t FilterStrideOf(ColorType type, uint8_t bit_depth) {
  const size_t bytes = ChannelsOf(type) * bit_depth / 8;
  return bytes == 0 ? 1 : bytes;
}

}  // namespace repng::png
