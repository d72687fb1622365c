// Each reduction, filter strategy and the chunk writer, checked by writing a
// raster as a PNG file and decoding it with libspng.
#include <gtest/gtest.h>

#include <libdeflate.h>

#include <limits>

#include "platform/gdiplus/png/chunk_writer.h"
#include "platform/gdiplus/png/colour_summary.h"
#include "platform/gdiplus/png/filter_strategies.h"
#include "platform/gdiplus/png/palette_order.h"
#include "platform/gdiplus/png/reductions.h"
#include "platform/gdiplus/png/row_filters.h"
#include "platform/gdiplus/png/zlib_compression.h"
#include "png/png_test_support.h"

namespace repng::png {
namespace {

using testing::ChunkTypes;
using testing::DecodeWithSpng;
using testing::Premultiplied;

StraightImage Image(uint32_t width, uint32_t height, std::vector<uint32_t> argb) {
  return StraightImage{width, height, std::move(argb)};
}

// A picture that uses every one of `colours` (when it has as many pixels and
// the count is not a multiple of 7), in steps of 7 so that neighbours differ.
StraightImage Cycling(uint32_t width, uint32_t height, const std::vector<uint32_t>& colours) {
  std::vector<uint32_t> argb;
  for (size_t i = 0; i < size_t{width} * height; ++i) argb.push_back(colours[(i * 7) % colours.size()]);
  return Image(width, height, std::move(argb));
}

std::vector<uint8_t> WriteRaster(const PngRaster& raster, FilterStrategy strategy,
                                 size_t max_idat = kMaxIdatPayload) {
  const std::vector<uint8_t> filtered = FilterImage(raster, strategy);
  ZlibCompressor compressor(6);
  std::vector<uint8_t> stream;
  EXPECT_TRUE(compressor.Compress(filtered.data(), filtered.size(), std::numeric_limits<size_t>::max(), &stream));
  std::vector<uint8_t> png;
  EXPECT_TRUE(WritePngFile(raster, stream, &png, max_idat));
  return png;
}

// Writes `raster` and expects it to decode to `image`; returns the decode.
testing::DecodedPng ExpectDecodesTo(const PngRaster& raster, const StraightImage& image,
                                    FilterStrategy strategy = FilterStrategy::kMinSum) {
  const testing::DecodedPng decoded = DecodeWithSpng(WriteRaster(raster, strategy));
  EXPECT_TRUE(decoded.ok);
  EXPECT_EQ(decoded.premultiplied, Premultiplied(image.argb)) << FilterStrategyName(strategy);
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

TEST(FilterStrategies, EveryStrategyRoundTripsEveryLayout) {
  std::vector<uint32_t> colours;
  for (uint32_t i = 0; i < 300; ++i) colours.push_back((i % 3 == 0 ? 0x80u : 0xFFu) << 24 | (i * 0x010307u));
  const StraightImage rgba = Cycling(17, 9, colours);
  const StraightImage gray2 = Cycling(23, 5, Grays({0, 85, 170, 255}));
  const StraightImage palette4 = Cycling(9, 11, {0xFF102030u, 0xFF405060u, 0x80FF0000u, 0, 0xFF00FF00u});
  const ColourSummary rgba_summary = SummariseColours(rgba.argb.data(), rgba.argb.size());
  const ColourSummary gray_summary = SummariseColours(gray2.argb.data(), gray2.argb.size());
  const ColourSummary palette_summary = SummariseColours(palette4.argb.data(), palette4.argb.size());
  for (int s = 0; s < kFilterStrategyCount; ++s) {
    const auto strategy = static_cast<FilterStrategy>(s);
    ExpectDecodesTo(BuildTruecolourRaster(rgba, rgba_summary), rgba, strategy);
    ExpectDecodesTo(BuildGrayRaster(gray2, gray_summary), gray2, strategy);
    ExpectDecodesTo(BuildPaletteRaster(palette4, palette_summary.palette_colours), palette4, strategy);
  }
}

TEST(Reductions, PaletteHoldsAtMost256Colours) {
  std::vector<uint32_t> colours;
  for (uint32_t i = 0; i < 257; ++i) colours.push_back(0xFF000000u | (i * 0x00010101u + (i & 1) * 0x10000u));
  const StraightImage many = Cycling(31, 29, colours);
  EXPECT_FALSE(SummariseColours(many.argb.data(), many.argb.size()).fits_palette);

  colours.pop_back();
  const StraightImage fitting = Cycling(31, 29, colours);
  const ColourSummary summary = SummariseColours(fitting.argb.data(), fitting.argb.size());
  ASSERT_TRUE(summary.fits_palette);
  EXPECT_EQ(summary.palette_colours.size(), 256u);
  const PngRaster raster = BuildPaletteRaster(fitting, summary.palette_colours);
  EXPECT_EQ(raster.bit_depth, 8);
  ExpectDecodesTo(raster, fitting);
}

TEST(Reductions, PaletteBitDepthFollowsColourCount) {
  const std::vector<std::pair<size_t, int>> cases = {{1, 1}, {2, 1}, {3, 2}, {4, 2}, {5, 4}, {16, 4}, {17, 8}};
  for (const auto& [count, depth] : cases) {
    std::vector<uint32_t> colours;
    for (uint32_t i = 0; i < count; ++i) colours.push_back(0xFF000000u | (i * 0x0B1D07u + 0x400000u));
    const StraightImage image = Cycling(13, 3, colours);  // 13 px: rows end in a partial byte
    const ColourSummary summary = SummariseColours(image.argb.data(), image.argb.size());
    const PngRaster raster = BuildPaletteRaster(image, summary.palette_colours);
    EXPECT_EQ(raster.bit_depth, depth) << count;
    EXPECT_TRUE(raster.transparency.empty());
    const testing::DecodedPng decoded = ExpectDecodesTo(raster, image);
    EXPECT_EQ(decoded.header.color_type, SPNG_COLOR_TYPE_INDEXED);
  }
}

TEST(Reductions, GrayBitDepthIsTheSmallestThatHoldsEveryValue) {
  struct Case {
    std::vector<uint32_t> colours;
    uint8_t depth;
  };
  const std::vector<Case> cases = {{Grays({0, 255}), 1},
                                   {Grays({0, 85, 255}), 2},
                                   {Grays({17, 34, 255}), 4},
                                   {Grays({0, 255, 1}), 8}};
  for (const Case& c : cases) {
    const StraightImage image = Cycling(11, 4, c.colours);
    const ColourSummary summary = SummariseColours(image.argb.data(), image.argb.size());
    ASSERT_TRUE(summary.all_gray);
    const PngRaster raster = BuildGrayRaster(image, summary);
    EXPECT_EQ(raster.color_type, ColorType::kGray);
    EXPECT_EQ(raster.bit_depth, c.depth);
    ExpectDecodesTo(raster, image);
  }
  std::vector<uint32_t> one_off = Grays({10, 20, 30, 40});
  one_off.push_back(0xFF0A0A0Bu);
  EXPECT_FALSE(SummariseColours(one_off.data(), one_off.size()).all_gray);
}

TEST(Reductions, GrayWithTranslucencyKeepsAlpha) {
  const StraightImage image = Cycling(7, 7, {0x80404040u, 0xFF101010u, 0});
  const ColourSummary summary = SummariseColours(image.argb.data(), image.argb.size());
  const PngRaster raster = BuildGrayRaster(image, summary);
  EXPECT_EQ(raster.color_type, ColorType::kGrayAlpha);
  ExpectDecodesTo(raster, image);
}

TEST(Reductions, ColourKeyOnlyWhenExact) {
  const std::vector<uint32_t> keyable = {0, 0xFF123456u, 0xFF00FF00u, 0xFF010101u};
  const StraightImage image = Cycling(9, 6, keyable);
  const ColourSummary summary = SummariseColours(image.argb.data(), image.argb.size());
  ASSERT_TRUE(ColourKeyPossible(summary));
  const PngRaster raster = BuildTruecolourRaster(image, summary);
  EXPECT_EQ(raster.color_type, ColorType::kRgb);
  EXPECT_EQ(raster.transparency, std::vector<uint8_t>(6, 0));
  ExpectDecodesTo(raster, image);

  // An opaque black pixel would turn transparent under the key.
  const StraightImage clashing = Cycling(9, 6, {0, 0xFF123456u, 0xFF000000u});
  const ColourSummary clash = SummariseColours(clashing.argb.data(), clashing.argb.size());
  EXPECT_FALSE(ColourKeyPossible(clash));
  EXPECT_EQ(BuildTruecolourRaster(clashing, clash).color_type, ColorType::kRgba);

  // One pixel at alpha 254 needs the alpha channel.
  const StraightImage nearly = Cycling(9, 6, {0, 0xFF123456u, 0xFE123456u});
  const ColourSummary near_summary = SummariseColours(nearly.argb.data(), nearly.argb.size());
  EXPECT_FALSE(ColourKeyPossible(near_summary));
  ExpectDecodesTo(BuildTruecolourRaster(nearly, near_summary), nearly);

  // Gray takes the key 0 as well.
  const StraightImage gray = Cycling(9, 6, {0, 0xFF555555u, 0xFFAAAAAAu});
  const ColourSummary gray_summary = SummariseColours(gray.argb.data(), gray.argb.size());
  const PngRaster gray_raster = BuildGrayRaster(gray, gray_summary);
  EXPECT_EQ(gray_raster.color_type, ColorType::kGray);
  EXPECT_EQ(gray_raster.bit_depth, 2);
  EXPECT_EQ(gray_raster.transparency, std::vector<uint8_t>(2, 0));
  ExpectDecodesTo(gray_raster, gray);
}

TEST(PaletteOrder, EveryOrderIsAPermutationWithTranslucentEntriesFirst) {
  const std::vector<uint32_t> colours = {0xFFFFFFFFu, 0x80102030u, 0xFF000000u, 0, 0xFF808080u, 0x40FFFFFFu};
  const StraightImage image = Cycling(10, 10, colours);
  const ColourSummary summary = SummariseColours(image.argb.data(), image.argb.size());
  for (int o = 0; o < kPaletteOrderCount; ++o) {
    const auto order = static_cast<PaletteOrder>(o);
    const std::vector<uint32_t> ordered = OrderPalette(image, summary.palette_colours, order);
    std::vector<uint32_t> sorted = ordered;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, summary.palette_colours) << PaletteOrderName(order);
    for (size_t i = 0; i < 3; ++i) EXPECT_NE(ordered[i] >> 24, 255u) << PaletteOrderName(order);
    const PngRaster raster = BuildPaletteRaster(image, ordered);
    EXPECT_EQ(raster.transparency.size(), 3u);  // trailing opaque entries trimmed
    ExpectDecodesTo(raster, image);
  }
}

TEST(PaletteOrder, FirstAppearanceFollowsTheScan) {
  const std::vector<uint32_t> scan = {0xFF0000FFu, 0xFF0000FFu, 0xFFFF0000u, 0x80102030u, 0xFF00FF00u, 0xFFFF0000u};
  const StraightImage image = Image(3, 2, scan);
  const ColourSummary summary = SummariseColours(image.argb.data(), image.argb.size());
  EXPECT_EQ(OrderPalette(image, summary.palette_colours, PaletteOrder::kFirstAppearance),
            (std::vector<uint32_t>{0x80102030u, 0xFF0000FFu, 0xFFFF0000u, 0xFF00FF00u}));
}

TEST(ChunkWriter, SplitsImageDataAndWritesOnlyLayoutChunks) {
  const StraightImage image = Cycling(40, 40, {0xFF102030u, 0x80405060u, 0});
  const ColourSummary summary = SummariseColours(image.argb.data(), image.argb.size());
  const PngRaster raster = BuildPaletteRaster(image, summary.palette_colours);
  std::vector<uint8_t> png = WriteRaster(raster, FilterStrategy::kNone, 16);
  const std::vector<std::string> chunks = ChunkTypes(png);
  ASSERT_GE(chunks.size(), 6u);
  EXPECT_EQ(chunks[0], "IHDR");
  EXPECT_EQ(chunks[1], "PLTE");
  EXPECT_EQ(chunks[2], "tRNS");
  for (size_t i = 3; i + 1 < chunks.size(); ++i) EXPECT_EQ(chunks[i], "IDAT");
  EXPECT_EQ(chunks.back(), "IEND");
  const testing::DecodedPng decoded = DecodeWithSpng(png);  // libspng checks every CRC
  ASSERT_TRUE(decoded.ok);
  EXPECT_EQ(decoded.premultiplied, Premultiplied(image.argb));
  // The search weighs each layout by this size.
  for (const PngRaster& layout : {raster, BuildTruecolourRaster(image, summary)}) {
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
}

TEST(ZlibCompression, ZopfliPiecesJoinIntoOneValidStream) {
  std::vector<uint8_t> data(20000);
  for (size_t i = 0; i < data.size(); ++i) {
    data[i] = static_cast<uint8_t>(i < 9000 ? (i * i) >> 7 : (i % 37) * 5);  // two kinds of content
  }
  libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
  ASSERT_NE(decompressor, nullptr);
  for (const size_t pieces : {size_t{1}, size_t{2}, size_t{3}, size_t{7}}) {
    for (const bool split : {false, true}) {
      ZopfliSettings settings;
      settings.iterations = 2;
      settings.split_blocks = split;
      settings.pieces = pieces;
      const std::vector<uint8_t> stream = ZopfliCompressZlib(data.data(), data.size(), settings);
      std::vector<uint8_t> restored(data.size());
      size_t restored_size = 0;
      EXPECT_EQ(libdeflate_zlib_decompress(decompressor, stream.data(), stream.size(), restored.data(),
                                           restored.size(), &restored_size),
                LIBDEFLATE_SUCCESS)
          << pieces << " pieces";
      EXPECT_EQ(restored_size, data.size());
      EXPECT_EQ(restored, data) << pieces << " pieces";
    }
  }
  libdeflate_free_decompressor(decompressor);
}

}  // namespace
}  // namespace repng::png
