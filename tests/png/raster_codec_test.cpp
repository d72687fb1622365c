// Each reduction, filter strategy and the chunk writer, checked by writing a
// raster as a PNG file and decoding it with libspng.
#include <gtest/gtest.h>

#include <libdeflate.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <regex>
#include <stdexcept>
#include <thread>

#include "png/chunk_writer.h"
#include "png/colour_summary.h"
#include "png/encoder_fault.h"
#include "deflate/deflate.h"
#include "png/filter_strategies.h"
#include "png/optimal_pass.h"
#include "png/palette_order.h"
#include "png/parallel_trials.h"
#include "png/reductions.h"
#include "png/row_filters.h"
#include "png/search_settings.h"
#include "png/zlib_compression.h"
#include "png/png_test_support.h"

namespace repng::png {
namespace {

struct Picture {
  StraightImage image;
  ColourSummary summary;
};

// A picture that uses every one of `colours` (when it has as many pixels and
// the count is not a multiple of 7), in steps of 7 so that neighbours differ.
Picture Cycling(uint32_t width, uint32_t height, const std::vector<uint32_t>& colours) {
  std::vector<uint32_t> argb;
  for (size_t i = 0; i < size_t{width} * height; ++i) argb.push_back(colours[(i * 7) % colours.size()]);
  const ColourSummary summary = SummariseColours(argb.data(), argb.size());
  return {{width, height, std::move(argb)}, summary};
}

// Writes `raster` as a PNG file and expects libspng (which checks every CRC)
// to decode it to `image`; returns the decode.
testing::DecodedPng ExpectDecodesTo(const PngRaster& raster, const StraightImage& image,
                                     FilterStrategy strategy = FilterStrategy::kMinSum,
                                     size_t max_idat = kMaxIdatPayload) {
  const std::vector<uint8_t> filtered = FilterImage(raster, strategy);
  ZlibCompressor compressor(6);
  std::vector<uint8_t> stream, png;
  EXPECT_TRUE(compressor.Compress(filtered.data(), filtered.size(), std::numeric_limits<size_t>::max(), &stream));
  EXPECT_TRUE(WritePngFile(raster, stream, &png, max_idat));
  testing::DecodedPng decoded = testing::DecodeWithSpng(png);
  EXPECT_EQ(decoded.premultiplied, testing::Premultiplied(image.argb)) << FilterStrategyName(strategy);
  return decoded;
}

std::vector<uint32_t> Grays(std::initializer_list<uint32_t> values) {
  std::vector<uint32_t> out;
  for (const uint32_t v : values) out.push_back(0xFF000000u | v << 16 | v << 8 | v);
  return out;
}

TEST(RowFilters, UnfilterInvertsEveryFilter) {
  std::vector<uint8_t> previous(13), row(13);
  for (size_t i = 0; i < row.size(); ++i) {
    previous[i] = static_cast<uint8_t>(i * 37 + 200);
    row[i] = static_cast<uint8_t>(i * 91 + 5);
  }
  for (const size_t stride : {size_t{1}, size_t{2}, size_t{3}, size_t{4}}) {
    for (uint8_t type = 0; type < kFilterCount; ++type) {
      for (const uint8_t* above : std::vector<const uint8_t*>{nullptr, previous.data()}) {
        std::vector<uint8_t> filtered(row.size());
        FilterRow(type, row.data(), above, row.size(), stride, filtered.data());
        UnfilterRow(type, filtered.data(), above, filtered.size(), stride);
        EXPECT_EQ(filtered, row) << int{type} << " stride " << stride;
      }
    }
  }
}

// Bands of rows are filtered as inside the whole picture, by every strategy
// that looks no further back than the row above.
TEST(FilterStrategies, BandsOfRowsJoinIntoTheWholePicturesFilteredData) {
  std::vector<uint32_t> colours;
  for (uint32_t i = 0; i < 300; ++i) colours.push_back(0xFF000000u | (i * 0x0B1D07u));
  const Picture picture = Cycling(21, 11, colours);
  const PngRaster raster = BuildTruecolourRaster(picture.image, picture.summary);
  for (int s = 0; s < kFilterStrategyCount; ++s) {
    const auto strategy = static_cast<FilterStrategy>(s);
    if (strategy == FilterStrategy::kBruteForce) continue;
    std::vector<uint8_t> joined;
    for (const auto& [first, count] : {std::pair{0u, 4u}, {4u, 1u}, {5u, 0u}, {5u, 6u}}) {
      const std::vector<uint8_t> band = FilterRows(raster, strategy, first, count);
      joined.insert(joined.end(), band.begin(), band.end());
    }
    EXPECT_EQ(joined, FilterImage(raster, strategy)) << FilterStrategyName(strategy);
  }
  EXPECT_THROW(FilterRows(raster, FilterStrategy::kMinSum, 10, 2), EncoderFault);
  EXPECT_THROW(FilterRows(raster, FilterStrategy::kMinSum, 12, 0), EncoderFault);
}

// Brute force may try a row's filters on several workers: the same bytes as
// on one, called alone or from inside another parallel stage.
TEST(FilterStrategies, BruteForceOnWorkersWritesTheSerialBytes) {
  // Repeated rows, ramps and noise, so that the rows choose differently.
  std::vector<uint32_t> argb;
  const uint32_t width = 97, height = 40;
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const uint32_t noise = (x * 2654435761u + y * 40503u) * 2246822519u >> 8;
      argb.push_back(y % 3 == 0   ? 0xFF000000u | (noise & 0xFFFFFF)
                     : y % 3 == 1 ? 0xFF000000u | (x * 5 + y) * 0x010203u
                                  : argb[argb.size() - width]);
    }
  }
  const Picture picture{StraightImage{width, height, argb}, SummariseColours(argb.data(), argb.size())};
  const PngRaster raster = BuildTruecolourRaster(picture.image, picture.summary);
  const std::vector<uint8_t> serial = FilterImage(raster, FilterStrategy::kBruteForce);
  std::vector<bool> used(kFilterCount);
  for (uint32_t y = 0; y < height; ++y) used[serial[y * (RowBytes(raster) + 1)]] = true;
  EXPECT_GE(std::count(used.begin(), used.end(), true), 2);
  for (unsigned count : {1u, 2u, 3u, 8u}) {
    Workers workers(count);
    EXPECT_EQ(FilterImage(raster, FilterStrategy::kBruteForce, &workers), serial) << count << " workers";
    workers.Run(2, [&](size_t, unsigned) {
      EXPECT_EQ(FilterImage(raster, FilterStrategy::kBruteForce, &workers), serial) << count << " workers, nested";
    });
  }
}

// Palettes of up to 256 colours and the choice against truecolour are covered
// by the encoder's round trips.
TEST(ReductionsAndFilters, EveryLayoutAtItsEdgesRoundTripsUnderEveryStrategy) {
  using enum ColorType;
  std::vector<uint32_t> colours;
  for (uint32_t i = 0; i < 17; ++i) colours.push_back(0xFF000000u | (i * 0x0B1D07u + 0x400000u));
  const auto first = [&](size_t count) { return std::vector<uint32_t>(colours.begin(), colours.begin() + count); };
  struct Case {
    std::vector<uint32_t> colours;
    ColorType type;
    uint8_t depth;
  };
  const std::vector<Case> cases = {
      {first(1), kPalette, 1}, {first(2), kPalette, 1}, {first(3), kPalette, 2}, {first(4), kPalette, 2},
      {first(5), kPalette, 4}, {first(16), kPalette, 4}, {first(17), kPalette, 8},
      {Grays({0, 255}), kGray, 1}, {Grays({0, 85, 255}), kGray, 2},
      {Grays({17, 34, 255}), kGray, 4}, {Grays({0, 255, 1}), kGray, 8},
      {{0xFF0A0A0Au, 0xFF141414u, 0xFF0A0A0Bu}, kRgb, 8},  // one colour off gray
      {{0x80404040u, 0xFF101010u, 0}, kGrayAlpha, 8},
      {{0, 0xFF555555u, 0xFFAAAAAAu}, kGray, 2},  // keyed: the key 0 fits every depth
      {{0, 0xFF123456u, 0xFF00FF00u, 0xFF010101u}, kRgb, 8},  // keyed
      {{0, 0xFF123456u, 0xFF000000u}, kRgba, 8},  // opaque black would turn transparent under the key
      {{0, 0xFF123456u, 0xFE123456u}, kRgba, 8},  // one pixel at alpha 254
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "case " << &c - cases.data());
    const Picture picture = Cycling(13, 3, c.colours);  // 13 px: rows end in a partial byte
    const PngRaster raster = c.type == kPalette ? BuildPaletteRaster(picture.image, picture.summary.palette_colours)
                             : picture.summary.all_gray ? BuildGrayRaster(picture.image, picture.summary)
                                                        : BuildTruecolourRaster(picture.image, picture.summary);
    EXPECT_EQ(raster.color_type, c.type);
    EXPECT_EQ(raster.bit_depth, c.depth);
    for (int s = 0; s < kFilterStrategyCount; ++s) {
      ExpectDecodesTo(raster, picture.image, static_cast<FilterStrategy>(s));
    }
  }
}

TEST(PaletteOrder, EveryOrderIsAPermutationWithTranslucentEntriesFirst) {
  const std::vector<uint32_t> colours = {0xFFFFFFFFu, 0x80102030u, 0xFF000000u, 0, 0xFF808080u, 0x40FFFFFFu};
  const Picture picture = Cycling(10, 10, colours);
  for (int o = 0; o < kPaletteOrderCount; ++o) {
    const auto order = static_cast<PaletteOrder>(o);
    const std::vector<uint32_t> ordered = OrderPalette(picture.image, picture.summary.palette_colours, order);
    EXPECT_TRUE(std::is_permutation(ordered.begin(), ordered.end(), colours.begin(), colours.end()))
        << PaletteOrderName(order);
    for (size_t i = 0; i < 3; ++i) EXPECT_NE(ordered[i] >> 24, 255u) << PaletteOrderName(order);
    const PngRaster raster = BuildPaletteRaster(picture.image, ordered);
    EXPECT_EQ(raster.transparency.size(), 3u);  // trailing opaque entries trimmed
    ExpectDecodesTo(raster, picture.image);
  }
}

TEST(PaletteOrder, FirstAppearanceFollowsTheScan) {
  const StraightImage image{3, 2, {0xFF0000FFu, 0xFF0000FFu, 0xFFFF0000u, 0x80102030u, 0xFF00FF00u, 0xFFFF0000u}};
  const ColourSummary summary = SummariseColours(image.argb.data(), image.argb.size());
  EXPECT_EQ(OrderPalette(image, summary.palette_colours, PaletteOrder::kFirstAppearance),
            (std::vector<uint32_t>{0x80102030u, 0xFF0000FFu, 0xFFFF0000u, 0xFF00FF00u}));
}

TEST(ChunkWriter, SplitsImageDataAndWritesOnlyLayoutChunks) {
  const Picture picture = Cycling(40, 40, {0xFF102030u, 0x80405060u, 0});
  const PngRaster raster = BuildPaletteRaster(picture.image, picture.summary.palette_colours);
  const std::string chunks = ExpectDecodesTo(raster, picture.image, FilterStrategy::kNone, 16).chunks;
  EXPECT_TRUE(std::regex_match(chunks, std::regex("IHDR PLTE tRNS (IDAT ){2,}IEND"))) << chunks;
  std::vector<uint8_t> png;
  // The search weighs each layout by this size.
  for (const PngRaster& layout : {raster, BuildTruecolourRaster(picture.image, picture.summary)}) {
    ASSERT_TRUE(WritePngFile(layout, {1, 2, 3}, &png));
    EXPECT_EQ(png.size(), 8 + 25 + 12 + 12 + 3 + LayoutChunksSize(layout));
  }
}

TEST(ZlibCompression, LimitIsExact) {
  std::vector<uint8_t> data(5000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>((i * i) >> 5);
  ZlibCompressor compressor(6);
  std::vector<uint8_t> unbounded;
  ASSERT_TRUE(compressor.Compress(data.data(), data.size(), std::numeric_limits<size_t>::max(), &unbounded));
  std::vector<uint8_t> bounded;
  // A stream exactly at the limit fits; one byte less does not. Ties between
  // trials depend on this being exact.
  EXPECT_TRUE(compressor.Compress(data.data(), data.size(), unbounded.size(), &bounded));
  EXPECT_EQ(bounded, unbounded);
  EXPECT_FALSE(compressor.Compress(data.data(), data.size(), unbounded.size() - 1, &bounded));
  EXPECT_TRUE(bounded.empty());
  // Screening measures without keeping the stream; it must rank as the
  // kept streams do.
  EXPECT_EQ(compressor.StreamSize(data.data(), data.size(), std::numeric_limits<size_t>::max()), unbounded.size());
  EXPECT_EQ(compressor.StreamSize(data.data(), data.size(), unbounded.size()), unbounded.size());
  EXPECT_EQ(compressor.StreamSize(data.data(), data.size(), unbounded.size() - 1), 0u);
}

// Compressors are reused between trials: whatever level or data one had
// before, it writes what a new one of its level writes.
TEST(ZlibCompression, ReusedCompressorsWriteWhatNewOnesDo) {
  std::vector<uint8_t> data(3000), other(7000, 9);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>((i * i) >> 6);
  for (int round = 0; round < 2; ++round) {
    for (int level = 0; level <= kStrongestDeflateLevel; ++level) {
      const std::unique_ptr<libdeflate_compressor, decltype(&libdeflate_free_compressor)> fresh(
          libdeflate_alloc_compressor(level), &libdeflate_free_compressor);
      ASSERT_NE(fresh, nullptr);
      std::vector<uint8_t> expected(libdeflate_zlib_compress_bound(fresh.get(), data.size()));
      expected.resize(libdeflate_zlib_compress(fresh.get(), data.data(), data.size(), expected.data(), expected.size()));
      std::vector<uint8_t> stream;
      ZlibCompressor a(level);
      ASSERT_TRUE(a.Compress(other.data(), other.size(), std::numeric_limits<size_t>::max(), &stream));
      ASSERT_TRUE(a.Compress(data.data(), data.size(), std::numeric_limits<size_t>::max(), &stream));
      EXPECT_EQ(stream, expected) << "level " << level << " round " << round;
    }
  }
}

// Idle compressors hold their memory between pictures: never more than the
// setting allows, and none once the search stops keeping them.
TEST(ZlibCompression, IdleCompressorsStayWithinTheirMemory) {
  KeepIdleCompressors(false);
  KeepIdleCompressors(true);
  EXPECT_EQ(IdleCompressorBytes(), 0u);
  {
    std::vector<std::unique_ptr<ZlibCompressor>> many;
    for (int i = 0; i < 12; ++i) many.push_back(std::make_unique<ZlibCompressor>(i % 2 == 0 ? kStrongestDeflateLevel : 1));
  }
  EXPECT_GT(IdleCompressorBytes(), 0u);
  EXPECT_LE(IdleCompressorBytes(), settings::kIdleCompressorMemory);
  const size_t kept = IdleCompressorBytes();
  { ZlibCompressor again(kStrongestDeflateLevel); }  // taken and given back
  EXPECT_EQ(IdleCompressorBytes(), kept);
  KeepIdleCompressors(false);
  EXPECT_EQ(IdleCompressorBytes(), 0u);
  { ZlibCompressor unkept(1); }
  EXPECT_EQ(IdleCompressorBytes(), 0u);
  KeepIdleCompressors(true);
}

// The bigram strategies count on a table each thread keeps: what a row
// leaves in it must not change the next picture's filters.
TEST(FilterStrategies, BigramFiltersDoNotDependOnWhatWasFilteredBefore) {
  const Picture picture = Cycling(40, 9, Grays({0, 3, 9, 27, 81, 243, 200, 100}));
  const PngRaster raster = BuildGrayRaster(picture.image, picture.summary);
  const Picture noise = Cycling(300, 4, {0xFF102030u, 0xFF405060u, 0xFF708090u, 0xFFA0B0C0u, 0xFF0000FFu});
  const PngRaster noisy = BuildTruecolourRaster(noise.image, noise.summary);
  for (const FilterStrategy strategy : {FilterStrategy::kBigrams, FilterStrategy::kBigramEntropy}) {
    std::vector<uint8_t> first;
    std::thread([&] { first = FilterImage(raster, strategy); }).join();
    FilterImage(noisy, strategy);
    EXPECT_EQ(FilterImage(raster, strategy), first) << FilterStrategyName(strategy);
  }
}

// Beyond a segment the optimal and quick passes parse segments on the
// workers; the stream is one, and its bytes the same on any number of them.
TEST(OptimalPass, SegmentsOnAnyNumberOfWorkersMakeOneStream) {
  std::vector<uint8_t> data(settings::kLargeOptimalSegment + 5000);
  // Two kinds of content, so that the segments differ.
  for (size_t i = 0; i < data.size(); ++i) {
    data[i] = static_cast<uint8_t>(i < data.size() / 3 ? (i * i) >> 11 : (i % 37) * 5 + (i >> 16));
  }
  const std::unique_ptr<libdeflate_decompressor, decltype(&libdeflate_free_decompressor)> decompressor(
      libdeflate_alloc_decompressor(), &libdeflate_free_decompressor);
  ASSERT_NE(decompressor, nullptr);
  for (const bool quick : {false, true}) {
    std::vector<uint8_t> first;
    for (const unsigned count : {1u, 3u}) {
      Workers workers(count);
      const std::vector<uint8_t> stream = quick ? QuickZlibStream(data, workers) : OptimalZlibStream(data, workers);
      std::vector<uint8_t> restored(data.size());
      // Without an out-size pointer libdeflate insists on exactly data.size() bytes.
      EXPECT_EQ(libdeflate_zlib_decompress(decompressor.get(), stream.data(), stream.size(), restored.data(),
                                           restored.size(), nullptr),
                LIBDEFLATE_SUCCESS);
      EXPECT_EQ(restored, data) << count << " workers, quick " << quick;
      if (first.empty()) first = stream;
      EXPECT_EQ(stream, first) << count << " workers, quick " << quick;
    }
  }
}

// Work run beside the pass runs once, whether the data makes one segment or
// several, and what it throws reaches the caller as it was thrown.
TEST(OptimalPass, WorkBesideItRunsOnceAndItsFailureComesThrough) {
  Workers workers(2);
  for (const size_t size : {size_t{1000}, deflate::kDefaultSegmentSize + 1000}) {
    const std::vector<uint8_t> data(size, 7);
    int runs = 0;
    const std::vector<uint8_t> stream = OptimalZlibStream(data, workers, [&runs] { ++runs; });
    EXPECT_EQ(runs, 1) << size;
    EXPECT_EQ(stream, OptimalZlibStream(data, workers)) << size;
    EXPECT_THROW(OptimalZlibStream(data, workers, [] { throw std::length_error("beside"); }), std::length_error);
  }
}

}  // namespace
}  // namespace repng::png
