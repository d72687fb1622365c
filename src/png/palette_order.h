// Orders of palette entries. The order changes what the filters and deflate
// see, so the encoder tries several. Every order puts the entries that are not
// opaque first, so that tRNS stays short.
#pragma once

#include <cstdint>
#include <vector>

#include "png/reductions.h"

namespace repng::png {

enum class PaletteOrder : uint8_t {
  kAlphaThenLuminance,
  kNeighbourTraversal,
  kFrequency,
  kFirstAppearance,
};

inline constexpr int kPaletteOrderCount = 4;

const char* PaletteOrderName(PaletteOrder order);

// `colours` are the picture's distinct colours (at most 256, sorted).
std::vector<uint32_t> OrderPalette(const StraightImage& image, const std::vector<uint32_t>& colours,
                                   PaletteOrder order);

}  // namespace repng::png
