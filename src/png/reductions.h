// Exact reductions of a straight-alpha picture to smaller PNG layouts. Each
// builder is called only when the summary says the reduction loses nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "png/colour_summary.h"
#include "png/png_raster.h"

namespace repng::png {

// A straight-alpha picture: width * height pixels 0xAARRGGBB, top-down, fully
// transparent pixels 0.
struct StraightImage {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint32_t> argb;
};

// RGBA; RGB when every pixel is opaque; RGB with a black colour key when
// ColourKeyPossible.
PngRaster BuildTruecolourRaster(const StraightImage& image, const ColourSummary& summary);

// For pictures with R = G = B everywhere: gray with alpha; gray at the
// smallest bit depth when opaque; gray with the key 0 when ColourKeyPossible.
PngRaster BuildGrayRaster(const StraightImage& image, const ColourSummary& summary);

// Palette of `ordered_colours` (every colour of the picture, each once, the
// ones that are not opaque first) at the smallest bit depth; tRNS holds the
// alpha of the leading entries that are not opaque.
PngRaster BuildPaletteRaster(const StraightImage& image, const std::vector<uint32_t>& ordered_colours);

}  // namespace repng::png
