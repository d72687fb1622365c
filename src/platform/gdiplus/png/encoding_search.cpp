#include "platform/gdiplus/png/encoding_search.h"

#include <limits>
#include <new>

#include "platform/gdiplus/png/colour_summary.h"
#include "platform/gdiplus/png/filter_strategies.h"
#include "platform/gdiplus/png/zlib_compression.h"

namespace repng::png {

Encoding FindSmallestEncoding(const StraightImage& image) {
  const ColourSummary summary = SummariseColours(image.argb.data(), image.argb.size());
  Encoding encoding;
  encoding.raster = BuildTruecolourRaster(image, summary);
  const std::vector<uint8_t> filtered = FilterImage(encoding.raster, FilterStrategy::kMinSum);
  ZlibCompressor compressor(kStrongestDeflateLevel);
  if (!compressor.Compress(filtered.data(), filtered.size(), std::numeric_limits<size_t>::max(),
                           &encoding.zlib_stream)) {
    throw std::bad_alloc();
  }
  encoding.raster.rows.clear();
  return encoding;
}

}  // namespace repng::png
