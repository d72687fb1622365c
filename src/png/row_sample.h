// Screening a large picture on a few bands of its rows. Which filter strategy
// and which reduction compress best depends on the picture's local texture,
// which bands spread over its height keep; only the strongest deflate level
// ranks them the way the final pass will (on large flat drawings the lower
// levels even pick a different filter), and that level is too slow to run
// over every candidate's whole data.
#pragma once

#include <cstddef>
#include <cstdint>

#include "png/png_raster.h"

namespace repng::png {

struct RowSample {
  uint32_t band_count = 1;
  uint32_t band_rows = 0;  // rows per band; band_count * band_rows <= height
  uint32_t height = 0;     // of the whole picture

  uint32_t Rows() const { return band_count * band_rows; }
  bool IsWhole() const { return Rows() == height; }
};

// Bands of whole rows holding about `sample_bytes` of `raster`'s filtered
// data, or the whole picture when that is not much more.
RowSample ChooseRowSample(const PngRaster& raster, size_t sample_bytes);

// The sampled rows of `raster`, stacked into a picture of their own.
PngRaster TakeSampledRows(const PngRaster& raster, const RowSample& sample);

// The stream size of the whole picture estimated from the sample's:
// `sample_size` scaled by the share of rows sampled.
size_t ScaleToWhole(size_t sample_size, const RowSample& sample);

// The largest sample stream whose estimate can be no more than `whole_bound`:
// a trial beyond it can be dropped early without ever dropping one that
// belongs among the best.
size_t SampleBound(size_t whole_bound, const RowSample& sample);

}  // namespace repng::png
