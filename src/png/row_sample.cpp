#include "png/row_sample.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "png/filter_strategies.h"
#include "png/search_settings.h"

namespace repng::png {
namespace {

// Four bands catch a picture whose top, middle and bottom differ (a sky over
// a drawing, a title over a plain field) at little cost in band seams.
constexpr uint32_t kBands = settings::kSampleBands;
// Sampling saves little below this share of the picture.
constexpr size_t kWholeFactor = settings::kSampleWholeFactor;

}  // namespace

RowSample ChooseRowSample(const PngRaster& raster, size_t sample_bytes) {
  RowSample whole{1, raster.height, raster.height};
  const size_t filtered = FilteredSizeOf(raster);
  if (raster.height < 2 * kBands || filtered == 0 || sample_bytes == 0 ||
      filtered / kWholeFactor <= sample_bytes) {
    return whole;
  }
  const size_t row_bytes = filtered / raster.height;
  const size_t band_rows = std::max<size_t>(sample_bytes / kBands / row_bytes, 1);
  if (band_rows * kBands * kWholeFactor > raster.height) return whole;
  return RowSample{kBands, static_cast<uint32_t>(band_rows), raster.height};
}

PngRaster TakeSampledRows(const PngRaster& raster, const RowSample& sample) {
  if (sample.IsWhole()) return raster;
  PngRaster part{raster.width, sample.Rows(), raster.color_type, raster.bit_depth,
                 raster.palette, raster.transparency, {}};
  const size_t row_bytes = RowBytes(raster);
  part.rows.resize(row_bytes * part.height);
  for (uint32_t band = 0; band < sample.band_count; ++band) {
    // Band centres at the middles of equal slices of the height.
    const uint64_t centre = (uint64_t{2} * band + 1) * sample.height / (2 * sample.band_count);
    const uint32_t first = static_cast<uint32_t>(
        std::min<uint64_t>(centre - std::min<uint64_t>(centre, sample.band_rows / 2),
                           sample.height - sample.band_rows));
    std::memcpy(part.rows.data() + size_t{band} * sample.band_rows * row_bytes,
                raster.rows.data() + size_t{first} * row_bytes, size_t{sample.band_rows} * row_bytes);
  }
  return part;
}

size_t ScaleToWhole(size_t sample_size, const RowSample& sample) {
  if (sample.IsWhole()) return sample_size;
  // Row counts fit in 32 bits and stream sizes in well under 32 bits here,
  // but the product is checked all the same.
  if (sample_size > std::numeric_limits<size_t>::max() / sample.height) {
    return std::numeric_limits<size_t>::max();
  }
  return sample_size * sample.height / sample.Rows();
}

size_t SampleBound(size_t whole_bound, const RowSample& sample) {
  constexpr size_t kUnbounded = std::numeric_limits<size_t>::max();
  if (sample.IsWhole() || whole_bound == kUnbounded) return whole_bound;
  // ScaleToWhole(s) <= b  <=>  s * height < (b + 1) * rows.
  if (whole_bound + 1 > kUnbounded / sample.Rows()) return kUnbounded;
  return ((whole_bound + 1) * sample.Rows() - 1) / sample.height;
}

}  // namespace repng::png
