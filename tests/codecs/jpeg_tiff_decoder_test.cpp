#include <gtest/gtest.h>

#include <cstdlib>

#include "codecs/library_writers.h"
#include "platform/gdiplus/codecs/image_decoder.h"

namespace repng::codecs {
namespace {

using test::Bytes;
using test::JpegSpec;
using test::TiffPage;

DecodeResult Decode(const Bytes& file, DecodedImage* image) {
  return DecodeImage(file.data(), file.size(), image);
}

JpegSpec Uniform(int components, std::vector<uint8_t> colour, bool progressive = false) {
  JpegSpec spec;
  spec.components = components;
  spec.progressive = progressive;
  for (uint32_t i = 0; i < spec.width * spec.height; ++i) {
    spec.samples.insert(spec.samples.end(), colour.begin(), colour.end());
  }
  return spec;
}

void ExpectNear(const DecodedImage& image, uint32_t expected, int tolerance) {
  ASSERT_FALSE(image.argb.empty());
  for (const uint32_t pixel : image.argb) {
    for (int shift = 0; shift < 32; shift += 8) {
      const int got = static_cast<int>((pixel >> shift) & 0xFF);
      const int want = static_cast<int>((expected >> shift) & 0xFF);
      ASSERT_LE(std::abs(got - want), tolerance) << std::hex << pixel << " vs " << expected;
    }
  }
}

TEST(JpegDecoder, GrayColourProgressiveAndAdobeCmyk) {
  DecodedImage image;
  ASSERT_EQ(Decode(test::MakeJpeg(Uniform(1, {77})), &image), DecodeResult::kOk);
  EXPECT_EQ(image.width, 16u);
  ExpectNear(image, 0xFF4D4D4D, 1);
  ASSERT_EQ(Decode(test::MakeJpeg(Uniform(3, {200, 100, 50})), &image), DecodeResult::kOk);
  ExpectNear(image, 0xFFC86432, 3);
  ASSERT_EQ(Decode(test::MakeJpeg(Uniform(3, {200, 100, 50}, true)), &image), DecodeResult::kOk);
  ExpectNear(image, 0xFFC86432, 3);
  // Adobe CMYK is stored inverted: 255 is no ink.
  ASSERT_EQ(Decode(test::MakeJpeg(Uniform(4, {255, 128, 0, 255})), &image), DecodeResult::kOk);
  ExpectNear(image, 0xFFFF8000, 3);
}

TEST(JpegDecoder, RefusesDamageProfilesOrientationAndPrecision) {
  DecodedImage image;
  const Bytes good = test::MakeJpeg(Uniform(3, {10, 20, 30}, true));
  for (size_t keep : {good.size() - 2, good.size() / 2, size_t{200}, size_t{3}}) {
    EXPECT_EQ(Decode(Bytes(good.begin(), good.begin() + static_cast<long>(keep)), &image), DecodeResult::kDamaged)
        << keep;
    EXPECT_TRUE(image.argb.empty());
  }

  JpegSpec srgb = Uniform(3, {1, 2, 3});
  srgb.icc_profile = test::MakeIccProfile("sRGB IEC61966-2.1");
  EXPECT_EQ(Decode(test::MakeJpeg(srgb), &image), DecodeResult::kOk);
  JpegSpec wide = srgb;
  wide.icc_profile = test::MakeIccProfile("Adobe RGB (1998)");
  EXPECT_EQ(Decode(test::MakeJpeg(wide), &image), DecodeResult::kUnsupported);

  JpegSpec upright = Uniform(3, {1, 2, 3});
  upright.exif_tiff = test::MakeExifTiff(1);
  EXPECT_EQ(Decode(test::MakeJpeg(upright), &image), DecodeResult::kOk);
  JpegSpec rotated = upright;
  rotated.exif_tiff = test::MakeExifTiff(6);
  EXPECT_EQ(Decode(test::MakeJpeg(rotated), &image), DecodeResult::kUnsupported);

  // Patch the frame header: 12-bit precision, then a vast size.
  Bytes baseline = test::MakeJpeg(Uniform(3, {1, 2, 3}));
  size_t sof = 2;
  while (sof + 9 < baseline.size() && !(baseline[sof] == 0xFF && baseline[sof + 1] == 0xC0)) ++sof;
  ASSERT_LT(sof + 9, baseline.size());
  Bytes twelve = baseline;
  twelve[sof + 4] = 12;
  EXPECT_EQ(Decode(twelve, &image), DecodeResult::kUnsupported);
  Bytes vast = baseline;
  vast[sof + 5] = vast[sof + 7] = 0xFD;  // 64800 x 64800
  vast[sof + 6] = vast[sof + 8] = 0x20;
  EXPECT_EQ(Decode(vast, &image), DecodeResult::kTooLarge);
}

TiffPage Rgb(uint16_t compression) {
  TiffPage page;
  page.compression = compression;
  page.samples = {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 8, 7};
  return page;
}

TEST(TiffDecoder, LayoutsAlphaAndCompressions) {
  DecodedImage image;
  const std::vector<uint32_t> rgb = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF090807};
  for (const uint16_t compression : {uint16_t{1}, uint16_t{5}, uint16_t{8}, uint16_t{32773}}) {  // none, LZW, deflate, PackBits
    ASSERT_EQ(Decode(test::MakeTiff({Rgb(compression)}), &image), DecodeResult::kOk) << compression;
    EXPECT_EQ(image.argb, rgb) << compression;
  }

  TiffPage gray{.photometric = 1, .samples_per_pixel = 1, .samples = {0, 85, 170, 255}};
  ASSERT_EQ(Decode(test::MakeTiff({gray}), &image), DecodeResult::kOk);
  EXPECT_EQ(image.argb, (std::vector<uint32_t>{0xFF000000, 0xFF555555, 0xFFAAAAAA, 0xFFFFFFFF}));

  TiffPage bilevel{.width = 9, .height = 1, .photometric = 0, .samples_per_pixel = 1, .bits = 1,
                   .samples = {0x80, 0x00}};  // min-is-white: a set bit is black
  ASSERT_EQ(Decode(test::MakeTiff({bilevel}), &image), DecodeResult::kOk);
  EXPECT_EQ(image.argb[0], 0xFF000000u);
  EXPECT_EQ(image.argb[8], 0xFFFFFFFFu);

  TiffPage palette{.photometric = 3, .samples_per_pixel = 1, .samples = {0, 1, 1, 0}};
  palette.colormap.assign(3 * 256, 0);
  palette.colormap[1] = 0xFFFF;            // red of entry 1
  palette.colormap[256 + 0] = 0x8080;      // green of entry 0
  ASSERT_EQ(Decode(test::MakeTiff({palette}), &image), DecodeResult::kOk);
  EXPECT_EQ(image.argb, (std::vector<uint32_t>{0xFF008000, 0xFFFF0000, 0xFFFF0000, 0xFF008000}));

  TiffPage straight{.width = 2, .height = 1, .samples_per_pixel = 4, .extra_sample = 2,
                    .samples = {200, 100, 50, 255, 200, 100, 50, 128}};
  ASSERT_EQ(Decode(test::MakeTiff({straight}), &image), DecodeResult::kOk);
  EXPECT_EQ(image.argb[0], 0xFFC86432u);
  ExpectNear(DecodedImage{1, 1, {image.argb[1]}}, 0x80C86432, 2);

  TiffPage associated = straight;
  associated.extra_sample = 1;
  associated.samples = {200, 100, 50, 255, 100, 50, 25, 128};
  ASSERT_EQ(Decode(test::MakeTiff({associated}), &image), DecodeResult::kOk);
  ExpectNear(DecodedImage{1, 1, {image.argb[1]}}, 0x80C76331, 2);
}

TEST(TiffDecoder, RefusesPagesDepthProfilesOrientationAndDamage) {
  DecodedImage image;
  EXPECT_EQ(Decode(test::MakeTiff({Rgb(1), Rgb(1)}), &image), DecodeResult::kUnsupported);
  TiffPage sixteen = Rgb(1);
  sixteen.bits = 16;
  sixteen.samples.resize(24, 0);
  EXPECT_EQ(Decode(test::MakeTiff({sixteen}), &image), DecodeResult::kUnsupported);
  TiffPage profiled = Rgb(1);
  profiled.icc_profile = test::MakeIccProfile("ProPhoto RGB");
  EXPECT_EQ(Decode(test::MakeTiff({profiled}), &image), DecodeResult::kUnsupported);
  profiled.icc_profile = test::MakeIccProfile("sRGB IEC61966-2.1");
  EXPECT_EQ(Decode(test::MakeTiff({profiled}), &image), DecodeResult::kOk);
  TiffPage rotated = Rgb(1);
  rotated.orientation = 6;
  EXPECT_EQ(Decode(test::MakeTiff({rotated}), &image), DecodeResult::kUnsupported);

  // Strips are written before the directory: cutting into them leaves the
  // directory unreachable or the strips short.
  TiffPage big{.width = 64, .height = 64, .compression = 5};
  for (uint32_t i = 0; i < 64 * 64 * 3; ++i) big.samples.push_back(static_cast<uint8_t>(i * 31 / 7));
  Bytes lzw = test::MakeTiff({big});
  ASSERT_EQ(Decode(lzw, &image), DecodeResult::kOk);
  Bytes corrupt = lzw;
  for (size_t i = 8; i < 400; i += 3) corrupt[i] = 0xFF;
  EXPECT_EQ(Decode(corrupt, &image), DecodeResult::kDamaged);
  EXPECT_TRUE(image.argb.empty());
  EXPECT_EQ(Decode(Bytes(lzw.begin(), lzw.begin() + 200), &image), DecodeResult::kDamaged);
}

}  // namespace
}  // namespace repng::codecs
