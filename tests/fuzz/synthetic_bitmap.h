// A small premultiplied bitmap derived from fuzz input, shaped so that every
// reduction of the PNG encoder is reached: few colours, gray at every bit
// depth, only opaque or only clear-or-opaque alpha, edge alpha levels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace repng::fuzz {

inline constexpr uint32_t kMaxSyntheticSide = 32;

// Input layout: width byte, height byte, shape byte, layout byte, then the
// palette (4 bytes an entry) when the shape asks for one, then the pixels
// (4 bytes each, or 1 or 2 index bytes with a palette). Missing bytes read
// as 0. Shape bits 0-1 alpha (any, opaque, 0 or 255, from {0,1,254,255}),
// bit 2 gray, bits 3-4 gray depth (8, 1, 2, 4), bits 5-7 palette size
// (none, 1, 2, 4, 16, 255, 256, 257). Layout bit 0 asks for bottom-up rows.
struct SyntheticBitmap {
  uint32_t width = 0;
  uint32_t height = 0;
  bool bottom_up = false;
  std::vector<uint32_t> pixels;  // top-down, valid premultiplied 0xAARRGGBB
};

SyntheticBitmap SyntheticBitmapFromBytes(const uint8_t* data, size_t size);

}  // namespace repng::fuzz
