// PNG's five row filters (None, Sub, Up, Average, Paeth) and their inverse.
#pragma once

#include <cstddef>
#include <cstdint>

namespace repng::png {

inline constexpr uint8_t kFilterNone = 0;
inline constexpr uint8_t kFilterSub = 1;
inline constexpr uint8_t kFilterUp = 2;
inline constexpr uint8_t kFilterAverage = 3;
inline constexpr uint8_t kFilterPaeth = 4;
inline constexpr uint8_t kFilterCount = 5;

// Filters `size` bytes of `row` into `out` with filter `type`. `previous` is
// the unfiltered row above, or null for the first row (treated as zeros).
// `stride` is the byte distance to the same channel of the pixel on the left.
void FilterRow(uint8_t type, const uint8_t* row, const uint8_t* previous, size_t size,
               size_t stride, uint8_t* out);

// The inverse of FilterRow, in place; `previous` is the reconstructed row
// above, or null.
void UnfilterRow(uint8_t type, uint8_t* row, const uint8_t* previous, size_t size, size_t stride);

}  // namespace repng::png
