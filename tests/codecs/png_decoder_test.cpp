#include <gtest/gtest.h>

#include <algorithm>

#include "codecs/png_writer.h"
#include "platform/gdiplus/codecs/image_decoder.h"

namespace repng::codecs {
namespace {

using test::Bytes;
using test::MakePng;
using test::PngSpec;

DecodeResult Decode(const Bytes& png, DecodedImage* image) {
  return DecodePng(png.data(), png.size(), image);
}

// A 5 x 3 picture of the given type whose samples walk through the range.
PngSpec Walk(uint8_t color_type, uint8_t depth, bool interlaced) {
  PngSpec spec;
  spec.width = 5;
  spec.height = 3;
  spec.color_type = color_type;
  spec.bit_depth = depth;
  spec.interlaced = interlaced;
  const uint32_t channels = color_type == 0 || color_type == 3 ? 1 : color_type == 4 ? 2 : color_type == 2 ? 3 : 4;
  const uint32_t limit = color_type == 3 ? std::min(4u, 1u << depth) : 1u << depth;
  for (uint32_t i = 0; i < spec.width * spec.height * channels; ++i) {
    spec.samples.push_back(static_cast<uint16_t>((i * 7 + 3) % limit));
  }
  if (color_type == 3) {
    spec.palette = {10, 20, 30, 40, 50, 60, 70, 80, 90, 200, 210, 220};
    spec.palette.resize(3 * limit);
  }
  return spec;
}

uint32_t Expected(const PngSpec& spec, size_t pixel) {
  const auto scale = [&](uint32_t v) { return v * 255 / ((1u << spec.bit_depth) - 1); };
  const auto s = [&](size_t channels, size_t c) { return spec.samples[pixel * channels + c]; };
  switch (spec.color_type) {
    case 0: { const uint32_t g = scale(s(1, 0)); return 0xFF000000u | g << 16 | g << 8 | g; }
    case 2: return 0xFF000000u | scale(s(3, 0)) << 16 | scale(s(3, 1)) << 8 | scale(s(3, 2));
    case 3: {
      const uint8_t* e = &spec.palette[3 * s(1, 0)];
      return 0xFF000000u | uint32_t{e[0]} << 16 | uint32_t{e[1]} << 8 | e[2];
    }
    case 4: { const uint32_t g = s(2, 0); return s(2, 1) << 24 | g << 16 | g << 8 | g; }
    default: return s(4, 3) << 24 | s(4, 0) << 16 | s(4, 1) << 8 | s(4, 2);
  }
}

TEST(PngDecoder, EveryColourTypeAndDepthPlainAndInterlaced) {
  const std::pair<uint8_t, uint8_t> variants[] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {2, 8}, {3, 1},
                                                  {3, 2}, {3, 4}, {3, 8}, {4, 8}, {6, 8}};
  for (const auto& [type, depth] : variants) {
    for (const bool interlaced : {false, true}) {
      const PngSpec spec = Walk(type, depth, interlaced);
      DecodedImage image;
      ASSERT_EQ(Decode(MakePng(spec), &image), DecodeResult::kOk)
          << int{type} << "/" << int{depth} << " interlaced " << interlaced;
      ASSERT_EQ(image.width, 5u);
      ASSERT_EQ(image.height, 3u);
      for (size_t i = 0; i < image.argb.size(); ++i) {
        ASSERT_EQ(image.argb[i], Expected(spec, i)) << int{type} << "/" << int{depth} << " pixel " << i;
      }
    }
  }
}

TEST(PngDecoder, TransparencyChunks) {
  PngSpec with_trns;
  with_trns.width = 5;
  with_trns.color_type = 3;
  with_trns.samples = {0, 1, 2, 3, 0};
  with_trns.before_idat = {{"PLTE", {10, 20, 30, 40, 50, 60, 70, 80, 90, 200, 210, 220}},
                           {"tRNS", {0, 128}}};
  DecodedImage image;
  ASSERT_EQ(Decode(MakePng(with_trns), &image), DecodeResult::kOk);
  EXPECT_EQ(image.argb, (std::vector<uint32_t>{0x000A141E, 0x8028323C, 0xFF46505A, 0xFFC8D2DC, 0x000A141E}));

  PngSpec gray;
  gray.width = 2;
  gray.color_type = 0;
  gray.samples = {7, 8};
  gray.before_idat = {{"tRNS", {0, 7}}};
  ASSERT_EQ(Decode(MakePng(gray), &image), DecodeResult::kOk);
  EXPECT_EQ(image.argb, (std::vector<uint32_t>{0x00070707, 0xFF080808}));

  PngSpec rgb;
  rgb.width = 2;
  rgb.color_type = 2;
  rgb.samples = {1, 2, 3, 1, 2, 4};
  rgb.before_idat = {{"tRNS", {0, 1, 0, 2, 0, 3}}};
  ASSERT_EQ(Decode(MakePng(rgb), &image), DecodeResult::kOk);
  EXPECT_EQ(image.argb, (std::vector<uint32_t>{0x00010203, 0xFF010204}));
}

TEST(PngDecoder, DamageIsRefusedAndTrailingBytesAreNot) {
  const Bytes good = MakePng(Walk(6, 8, false));
  DecodedImage image;
  Bytes garbage = good;
  garbage.insert(garbage.end(), {1, 2, 3, 4, 5});
  EXPECT_EQ(Decode(garbage, &image), DecodeResult::kOk);

  for (size_t cut : {good.size() - 12, good.size() / 2, size_t{40}, size_t{20}}) {
    const Bytes truncated(good.begin(), good.begin() + static_cast<long>(cut));
    EXPECT_NE(Decode(truncated, &image), DecodeResult::kOk) << cut;
    EXPECT_TRUE(image.argb.empty());
  }

  Bytes bad_crc = good;
  bad_crc[good.size() - 13] ^= 1;  // last byte of the IDAT checksum
  EXPECT_EQ(Decode(bad_crc, &image), DecodeResult::kDamaged);

  PngSpec text = Walk(6, 8, false);
  text.before_idat = {{"tEXt", {'a', 0, 'b'}}};
  Bytes bad_ancillary = MakePng(text);
  bad_ancillary[33 + 8 + 3] ^= 1;  // tEXt's checksum
  EXPECT_EQ(Decode(bad_ancillary, &image), DecodeResult::kDamaged);

  Bytes ihdr_only(good.begin(), good.begin() + 33);
  ihdr_only = test::AppendChunk(ihdr_only, "IEND", {});
  EXPECT_EQ(Decode(ihdr_only, &image), DecodeResult::kDamaged);

  PngSpec short_data = Walk(6, 8, false);
  short_data.height = 4;  // the samples cover only 3 rows
  short_data.samples.resize(5 * 4 * 4, 0);
  Bytes short_png = MakePng(short_data);
  Bytes three_rows = MakePng(Walk(6, 8, false));
  // Same IDAT for a taller header: splice the 3-row IDAT under a 4-row IHDR.
  Bytes spliced(short_png.begin(), short_png.begin() + 33);
  spliced.insert(spliced.end(), three_rows.begin() + 33, three_rows.end());
  EXPECT_EQ(Decode(spliced, &image), DecodeResult::kDamaged);
}

TEST(PngDecoder, RefusesWhatThe32BitPathWouldLose) {
  DecodedImage image;
  PngSpec sixteen = Walk(2, 16, false);
  EXPECT_EQ(Decode(MakePng(sixteen), &image), DecodeResult::kUnsupported);

  PngSpec animated = Walk(6, 8, false);
  animated.before_idat = {{"acTL", {0, 0, 0, 1, 0, 0, 0, 0}}};
  EXPECT_EQ(Decode(MakePng(animated), &image), DecodeResult::kUnsupported);

  const auto with_chunks = [](std::vector<std::pair<std::string, Bytes>> before,
                              std::vector<std::pair<std::string, Bytes>> after = {}) {
    PngSpec spec = Walk(6, 8, false);
    spec.before_idat = std::move(before);
    spec.after_idat = std::move(after);
    const Bytes png = MakePng(spec);
    DecodedImage decoded;
    return DecodePng(png.data(), png.size(), &decoded);
  };
  const auto iccp = [](const std::string& name, const std::string& description) {
    Bytes data(name.begin(), name.end());
    data.push_back(0);
    data.push_back(0);
    const Bytes z = test::ZlibCompress(test::MakeIccProfile(description));
    data.insert(data.end(), z.begin(), z.end());
    return data;
  };
  EXPECT_EQ(with_chunks({{"iCCP", iccp("ICC profile", "sRGB IEC61966-2.1")}}), DecodeResult::kOk);
  EXPECT_EQ(with_chunks({{"iCCP", iccp("ICC profile", "Display P3")}}), DecodeResult::kUnsupported);
  EXPECT_EQ(with_chunks({{"iCCP", iccp("sRGB", "Adobe RGB (1998)")}}), DecodeResult::kUnsupported);

  const auto gama = [](uint32_t v) { Bytes b; test::PutBe32(b, v); return b; };
  EXPECT_EQ(with_chunks({{"gAMA", gama(45455)}}), DecodeResult::kOk);
  EXPECT_EQ(with_chunks({{"gAMA", gama(45100)}}), DecodeResult::kOk);
  EXPECT_EQ(with_chunks({{"gAMA", gama(100000)}}), DecodeResult::kUnsupported);
  EXPECT_EQ(with_chunks({{"sRGB", {0}}, {"gAMA", gama(100000)}}), DecodeResult::kOk);

  const auto chrm = [](std::vector<uint32_t> v) { Bytes b; for (uint32_t x : v) test::PutBe32(b, x); return b; };
  EXPECT_EQ(with_chunks({{"cHRM", chrm({31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000})}}),
            DecodeResult::kOk);
  EXPECT_EQ(with_chunks({{"cHRM", chrm({31270, 32900, 68000, 32000, 26500, 69000, 15000, 6000})}}),
            DecodeResult::kUnsupported);

  EXPECT_EQ(with_chunks({{"eXIf", test::MakeExifTiff(1)}}), DecodeResult::kOk);
  EXPECT_EQ(with_chunks({{"eXIf", test::MakeExifTiff(6)}}), DecodeResult::kUnsupported);
  EXPECT_EQ(with_chunks({}, {{"eXIf", test::MakeExifTiff(6)}}), DecodeResult::kUnsupported);
}

TEST(PngDecoder, VastHeaderIsRefusedBeforeAllocating) {
  // The image data is a single byte: only the header is ever looked at.
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes ihdr;
  test::PutBe32(ihdr, 100000);
  test::PutBe32(ihdr, 100000);
  ihdr.insert(ihdr.end(), {8, 0, 0, 0, 0});
  png = test::AppendChunk(png, "IHDR", ihdr);
  png = test::AppendChunk(png, "IDAT", test::ZlibCompress({0}));
  png = test::AppendChunk(png, "IEND", {});
  DecodedImage image;
  EXPECT_EQ(Decode(png, &image), DecodeResult::kTooLarge);
}

}  // namespace
}  // namespace repng::codecs
