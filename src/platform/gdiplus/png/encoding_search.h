// Finding the smallest encoding of a picture among the exact reductions,
// palette orders and filter strategies, within a time budget chosen from the
// picture's size.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/gdiplus/png/png_raster.h"
#include "platform/gdiplus/png/reductions.h"

namespace repng::png {

struct Encoding {
  PngRaster raster;               // layout, palette and transparency (rows may be dropped)
  std::vector<uint8_t> zlib_stream;  // the IDAT data
};

// Throws std::bad_alloc when memory runs out.
Encoding FindSmallestEncoding(const StraightImage& image);

}  // namespace repng::png
