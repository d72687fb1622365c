// The search on sampled rows: the estimate's bound, the bands, and a search
// that screens on them still finding an exact and repeatable encoding.
#include <gtest/gtest.h>

#include "png/chunk_writer.h"
#include "png/encoding_search.h"
#include "png/row_sample.h"
#include "png/search_settings.h"
#include "png/zlib_compression.h"
#include "png/png_test_support.h"

namespace repng::png {
namespace {

// Each row starts with its own number, high byte first.
PngRaster GrayRaster(uint32_t width, uint32_t height) {
  PngRaster raster{width, height, ColorType::kGray, 8, {}, {}, {}};
  raster.rows.resize(size_t{width} * height);
  for (uint32_t y = 0; y < height && width >= 2; ++y) {
    raster.rows[size_t{y} * width] = static_cast<uint8_t>(y >> 8);
    raster.rows[size_t{y} * width + 1] = static_cast<uint8_t>(y);
  }
  return raster;
}

uint32_t RowNumber(const PngRaster& raster, uint32_t row) {
  const size_t at = size_t{row} * raster.width;
  return uint32_t{raster.rows[at]} << 8 | raster.rows[at + 1];
}

TEST(RowSample, BandsAreSpreadOverTheHeight) {
  EXPECT_TRUE(ChooseRowSample(GrayRaster(100, 100), 64 * 1024).IsWhole());
  EXPECT_TRUE(ChooseRowSample(GrayRaster(100000, 7), 1).IsWhole());  // too few rows for bands
  const PngRaster raster = GrayRaster(16, 1000);
  const RowSample sample = ChooseRowSample(raster, 16 * 100);
  ASSERT_FALSE(sample.IsWhole());
  ASSERT_LE(sample.Rows() * 2, raster.height);
  const PngRaster part = TakeSampledRows(raster, sample);
  ASSERT_EQ(part.height, sample.Rows());
  ASSERT_EQ(part.rows.size(), size_t{16} * sample.Rows());
  const uint32_t slice = raster.height / sample.band_count;
  for (uint32_t band = 0; band < sample.band_count; ++band) {
    // Each band is a run of consecutive rows inside its own slice of the height.
    const uint32_t first = RowNumber(part, band * sample.band_rows);
    EXPECT_GE(first, band * slice);
    EXPECT_LE(first + sample.band_rows, (band + 1) * slice);
    for (uint32_t row = 0; row < sample.band_rows; ++row) {
      EXPECT_EQ(RowNumber(part, band * sample.band_rows + row), first + row);
    }
  }
}

TEST(RowSample, BoundKeepsExactlyTheTrialsWhoseEstimateFits) {
  // A trial dropped by the bound whose estimate fits would make the choice
  // depend on which trials finished first.
  for (const RowSample sample : {RowSample{4, 3, 1000}, RowSample{4, 25, 101}, RowSample{1, 7, 7}}) {
    for (size_t bound = 0; bound < 3000; bound += bound < 300 ? 1 : 97) {
      const size_t limit = SampleBound(bound, sample);
      for (size_t size = limit > 3 ? limit - 3 : 0; size < limit + 3; ++size) {
        EXPECT_EQ(ScaleToWhole(size, sample) <= bound, size <= limit) << size << " against " << bound;
      }
    }
  }
}

TEST(EncodingSearch, ScreeningOnSampledRowsStillEncodesExactlyAndRepeatably) {
  // Top half smooth, bottom half noisy, so that bands disagree.
  const uint32_t width = 64, height = 256;
  StraightImage image{width, height, {}};
  for (uint32_t i = 0; i < width * height; ++i) {
    const uint32_t noise = (i * 2654435761u) >> 8;
    image.argb.push_back(0xFF000000u | (i < width * height / 2 ? i % width * 0x010203u : noise & 0xFFFFFF));
  }
  const SearchBudget budget{.first_strategies = {FilterStrategy::kNone, FilterStrategy::kMinSum},
                            .strategies = {FilterStrategy::kPaeth, FilterStrategy::kBruteForce},
                            .screening_level = kStrongestDeflateLevel, .screening_sample = 8 * 1024,
                            .finalists = 2, .last_pass = LastPass::kOptimal};
  // And the budget of large photographs: one finalist, the quick pass.
  SearchBudget quick = budget;
  quick.finalists = 1;
  quick.last_pass = LastPass::kQuick;
  for (const SearchBudget& tried : {budget, quick}) {
    const Encoding first = FindSmallestEncodingWithin(image, tried);
    const Encoding second = FindSmallestEncodingWithin(image, tried);
    EXPECT_EQ(first.zlib_stream, second.zlib_stream);
    std::vector<uint8_t> png;
    ASSERT_TRUE(WritePngFile(first.raster, first.zlib_stream, &png));
    EXPECT_EQ(testing::DecodeWithSpng(png).premultiplied, testing::Premultiplied(image.argb));
  }
}

// A large picture's search keeps no idle compressors: its peak has no room
// for them. A small one's keeps them for the next picture.
TEST(EncodingSearch, KeepsIdleCompressorsOnlyForPicturesUpToMedium) {
  SearchBudget budget;
  budget.first_strategies = {FilterStrategy::kNone};
  budget.screening_level = budget.final_level = 1;
  const uint32_t side = 1500;  // gray, one byte a pixel: just over kMedium
  static_assert(size_t{side} * (side + 1) > settings::kMedium);
  for (const uint32_t width : {side, 100u}) {
    { ZlibCompressor before(1); }
    std::vector<ReducedCandidate> reductions;
    reductions.push_back({"gray", GrayRaster(width, side)});
    FindSmallestEncodingWithin(std::move(reductions), budget);
    EXPECT_EQ(IdleCompressorBytes() > 0, width != side) << width;
  }
}

// A large picture's noise is measured in bands, which must give nearly the
// fraction of one stream over the whole: the budget's tiers part on it.
TEST(EncodingSearch, NoiseOfALargePictureMeasuredInBandsOnAnyWorkersIsThatOfTheWhole) {
  // Just over one band: smooth steps with noise on every third row.
  const uint32_t width = 1024, height = settings::kNoiseProbeBand / (width * 3 + 1) + 8;
  PngRaster raster{width, height, ColorType::kRgb, 8, {}, {}, {}};
  raster.rows.resize(size_t{width} * 3 * height);
  for (size_t i = 0; i < raster.rows.size(); ++i) {
    const size_t row = i / (size_t{width} * 3);
    raster.rows[i] = static_cast<uint8_t>(row % 3 == 0 ? (i * 2654435761u) >> 13 : i / 97 + row);
  }
  const std::vector<uint8_t> filtered = FilterImage(raster, FilterStrategy::kMinSum);
  ZlibCompressor compressor(settings::kNoiseProbeLevel);
  const double whole = static_cast<double>(compressor.StreamSize(filtered.data(), filtered.size(), SIZE_MAX)) /
                       static_cast<double>(filtered.size());
  EXPECT_NEAR(CompressedFraction(raster), whole, whole * 0.005);
  // The bands may run on workers, for the same share.
  for (unsigned count : {1u, 3u}) {
    Workers workers(count);
    EXPECT_EQ(CompressedFraction(raster, &workers), CompressedFraction(raster)) << count << " workers";
  }
  // Within one band it is that stream's fraction exactly.
  raster.height = 100;
  raster.rows.resize(size_t{width} * 3 * raster.height);
  const std::vector<uint8_t> part = FilterImage(raster, FilterStrategy::kMinSum);
  EXPECT_EQ(CompressedFraction(raster),
            static_cast<double>(compressor.StreamSize(part.data(), part.size(), SIZE_MAX)) /
                static_cast<double>(part.size()));
}

}  // namespace
}  // namespace repng::png
