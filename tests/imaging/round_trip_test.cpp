// Each format and colour variant goes the whole way: decoded, rebuilt,
// encoded as PNG and decoded again to the same premultiplied pixels.
#include <gtest/gtest.h>

#include <string>

#include "codecs/picture_variants.h"
#include "gdiplus/dib_reader.h"
#include "imaging/imaging.h"
#include "platform/gdiplus/gdiplus_test_hooks.h"
#include "platform/posix/gdi/gdi_test_hooks.h"
#include "platform/posix/gdi/global_memory_test_hooks.h"

namespace {

TEST(RoundTrip, EveryVariantComesBackWithTheSamePixels) {
  for (const repng::test::PictureVariant& variant : repng::test::PictureVariants()) {
    SCOPED_TRACE(variant.format + " " + variant.name);
    const HBITMAP source = LoadImageToHBitmap(variant.bytes.data(), UINT(variant.bytes.size()));
    ASSERT_NE(source, nullptr);
    UINT length = 0;
    std::unique_ptr<BYTE[]> png = EncodeHBitmapToPng(source, &length);
    ASSERT_NE(png, nullptr);
    const HBITMAP again = LoadImageToHBitmap(png.get(), length);
    ASSERT_NE(again, nullptr);
    const repng::test::DibPixels before = repng::test::ReadDibPixels(source);
    EXPECT_FALSE(before.pixels.empty());
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
  const std::string text = "not a picture at all\r\n";
  EXPECT_EQ(LoadImageToHBitmap(reinterpret_cast<const BYTE*>(text.data()), UINT(text.size())), nullptr);
  EXPECT_EQ(LoadImageToHBitmap(reinterpret_cast<const BYTE*>(text.data()), 0), nullptr);
  EXPECT_EQ(LoadImageToHBitmap(nullptr, 0), nullptr);
  const BYTE cut_png[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0};
  EXPECT_EQ(LoadImageToHBitmap(cut_png, sizeof cut_png), nullptr);
  EXPECT_EQ(repng::posix::testing::LiveGlobalBlockCount(), blocks);
  EXPECT_EQ(repng::posix::testing::LiveGdiObjectCount(), gdi_objects);
  EXPECT_EQ(repng::gdiplus::testing::LiveImageCount(), images);
}

}  // namespace
