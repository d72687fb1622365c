// A picture in one of PNG's pixel layouts, before filtering: what a reduction
// produces and what filtering, compression and chunk writing consume.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace repng::png {

// The colour type byte of IHDR.
enum class ColorType : uint8_t {
  kGray = 0,
  kRgb = 2,
  kPalette = 3,
  kGrayAlpha = 4,
  kRgba = 6,
};

struct PngRaster {
  uint32_t width = 0;
  uint32_t height = 0;
  ColorType color_type = ColorType::kRgba;
  uint8_t bit_depth = 8;
  std::vector<uint8_t> palette;       // PLTE payload, 3 bytes per entry
  std::vector<uint8_t> transparency;  // tRNS payload as written; empty for none
  std::vector<uint8_t> rows;          // height rows of RowBytes(), packed, unfiltered
};

uint32_t ChannelsOf(ColorType type);

// Bytes of one unfiltered row without its filter byte, or 0 when the size does
// not fit in size_t.
size_t RowBytesOf(uint32_t width, ColorType type, uint8_t bit_depth);

// The distance in bytes to the corresponding byte of the pixel to the left,
// as the filters use it: at least 1.
size_t FilterStrideOf(ColorType type, uint8_t bit_depth);

inline size_t RowBytes(const PngRaster& raster) {
  return RowBytesOf(raster.width, raster.color_type, raster.bit_depth);
}

}  // namespace repng::png
