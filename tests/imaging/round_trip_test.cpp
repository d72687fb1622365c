// Each format and colour variant goes the whole way: decoded to what
// ImageMagick reads from the same bytes, encoded as PNG and decoded again
// to the same premultiplied pixels.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "codecs/magick.h"
#include "codecs/picture_variants.h"
#include "gdiplus/dib_reader.h"
#include "imaging/imaging.h"
#include "platform/gdiplus/gdiplus_test_hooks.h"
#include "platform/gdiplus/pixel_math.h"
#include "platform/posix/gdi/gdi_test_hooks.h"
#include "platform/posix/global_memory/global_memory_test_hooks.h"

namespace {

void ExpectSameAsImageMagick(const repng::test::PictureVariant& variant, const std::vector<uint32_t>& pixels) {
  const repng::test::Bytes rgba = repng::test::ReadWithMagick(variant.bytes);
  ASSERT_EQ(rgba.size(), pixels.size() * 4);
  // Lossy decoders may round their colour transforms differently.
  const int tolerance = variant.format == "jpeg" ? 3 : 1;
  for (size_t i = 0; i < pixels.size(); ++i) {
    const uint8_t* p = &rgba[4 * i];
    const uint32_t want = repng::pixel::Premultiply(uint32_t{p[3]} << 24 | p[0] << 16 | p[1] << 8 | p[2]);
    for (int shift = 0; shift < 32; shift += 8)
      ASSERT_LE(std::abs(int(pixels[i] >> shift & 0xFF) - int(want >> shift & 0xFF)), tolerance) << "pixel " << i;
  }
}

TEST(RoundTrip, EveryVariantDecodesRightAndComesBackWithTheSamePixels) {
  for (const repng::test::PictureVariant& variant : repng::test::PictureVariants()) {
    SCOPED_TRACE(variant.format + " " + variant.name);
    const HBITMAP source = LoadImageToHBitmap(variant.bytes.data(), UINT(variant.bytes.size()));
    ASSERT_NE(source, nullptr);
    const repng::test::DibPixels before = repng::test::ReadDibPixels(source);
    ExpectSameAsImageMagick(variant, before.pixels);
    UINT length = 0;
    std::unique_ptr<BYTE[]> png = EncodeHBitmapToPng(source, &length);
    ASSERT_NE(png, nullptr);
    const HBITMAP again = LoadImageToHBitmap(png.get(), length);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(repng::test::ReadDibPixels(again), before);
    DeleteObject(source);
    DeleteObject(again);
  }
  EXPECT_EQ(repng::gdiplus::testing::StartupCallCount(), 1u) << "the library starts once";
}

TEST(RoundTrip, BytesThatAreNoPictureGiveNullAndLeaveNothingBehind) {
  const size_t blocks = repng::posix::testing::LiveGlobalBlockCount();
  const size_t gdi_objects = repng::posix::testing::LiveGdiObjectCount();
  const size_t images = repng::gdiplus::testing::LiveImageCount();
  const BYTE cut_png[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0};
  for (const UINT size : {UINT(sizeof cut_png), 3u, 0u}) EXPECT_EQ(LoadImageToHBitmap(cut_png, size), nullptr);
  EXPECT_EQ(LoadImageToHBitmap(nullptr, 0), nullptr);
  EXPECT_EQ(repng::posix::testing::LiveGlobalBlockCount(), blocks);
  EXPECT_EQ(repng::posix::testing::LiveGdiObjectCount(), gdi_objects);
  EXPECT_EQ(repng::gdiplus::testing::LiveImageCount(), images);
}

}  // namespace
