// One pass over the straight-alpha pixels that finds which exact reductions
// the picture allows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace repng::png {

inline constexpr size_t kMaxPaletteEntries = 256;

struct ColourSummary {
  bool all_opaque = true;
  bool all_gray = true;             // R = G = B in every pixel
  bool alpha_only_0_or_255 = true;
  bool any_transparent = false;     // some pixel has alpha 0
  bool opaque_black_present = false;
  // Each gray value 0..255 seen, as a bit per value (only meaningful when
  // all_gray).
  std::vector<bool> gray_values_seen = std::vector<bool>(256, false);
  // Distinct colours, sorted, when there are at most kMaxPaletteEntries;
  // empty otherwise.
  std::vector<uint32_t> palette_colours;
  bool fits_palette = false;
};

// `argb` holds `count` straight-alpha pixels 0xAARRGGBB whose fully
// transparent pixels are 0.
ColourSummary SummariseColours(const uint32_t* argb, size_t count);

// True when a colour key can stand in for the alpha channel: alpha is only 0
// or 255, some pixel is transparent, and none of the opaque pixels is black,
// the colour every transparent pixel has.
bool ColourKeyPossible(const ColourSummary& summary);

// The smallest of 1, 2, 4 and 8 bits that holds every gray value seen, where a
// sample s of depth d stands for s * 255 / (2^d - 1). A colour key's 0 fits
// every depth.
uint8_t GrayBitDepth(const ColourSummary& summary);

// The bit depth of palette indices for `entries` colours.
uint8_t PaletteBitDepth(size_t entries);

}  // namespace repng::png
