// Choosing a filter for every row of a picture. Which strategy wins depends on
// the picture, so the encoder tries several and keeps the one that compresses
// best.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "png/png_raster.h"

namespace repng::png {

enum class FilterStrategy : uint8_t {
  kNone,
  kSub,
  kUp,
  kAverage,
  kPaeth,
  kMinSum,         // least sum of absolute values per row
  kEntropy,        // least Shannon entropy of the row's bytes
  kBigrams,        // fewest distinct byte pairs in the row
  kBigramEntropy,  // least entropy of the row's byte pairs
  kBruteForce,     // smallest fast deflate of the row after its predecessors
};

inline constexpr int kFilterStrategyCount = 10;

const char* FilterStrategyName(FilterStrategy strategy);

// Size of the filtered stream of `raster` (a filter byte before each row), or
// 0 when it does not fit in size_t.
size_t FilteredSizeOf(const PngRaster& raster);

class Workers;

// The filtered image data of `raster` (what the zlib stream holds). Throws
// std::bad_alloc when memory runs out. Given workers, brute force tries each
// row's filters on them at once, for the same bytes.
std::vector<uint8_t> FilterImage(const PngRaster& raster, FilterStrategy strategy, Workers* workers = nullptr);

// The filtered data of `count` rows from row `first`, each filtered against
// the row above it in the whole picture, so that a strategy that looks at a
// row and the one above writes the whole's bytes (brute force looks further
// back, and sees only the rows given). Throws EncoderFault for rows beyond
// the raster.
std::vector<uint8_t> FilterRows(const PngRaster& raster, FilterStrategy strategy, uint32_t first, uint32_t count,
                                Workers* workers = nullptr);

}  // namespace repng::png
