#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <vector>

#include "gdiplus/dib_reader.h"
#include "imaging/cache_helpers.h"
#include "imaging/gdiplus_startup.h"
#include "imaging/pargb_rebuild.h"
#include "platform/gdiplus/gdiplus_test_hooks.h"
#include "platform/posix/gdi/gdi_test_hooks.h"

namespace {

class PargbRebuild : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureGdiplusStarted();
    live_images_ = repng::gdiplus::testing::LiveImageCount();
  }
  void TearDown() override {
    repng::posix::testing::SetGetDIBitsRowLimit(std::nullopt);
    EXPECT_EQ(repng::gdiplus::testing::LiveImageCount(), live_images_);
  }
  size_t live_images_ = 0;
};

// The rebuilt bitmap's pixels, read through a lock.
std::vector<uint32_t> LockedPixels(Gdiplus::Bitmap& bitmap, INT width, INT height) {
  Gdiplus::BitmapData data{};
  const Gdiplus::Rect whole(0, 0, width, height);
  EXPECT_EQ(bitmap.LockBits(&whole, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &data), Gdiplus::Ok);
  std::vector<uint32_t> pixels(size_t(width) * size_t(height));
  for (INT y = 0; y < height; ++y) {
    std::memcpy(&pixels[size_t(y * width)], static_cast<BYTE*>(data.Scan0) + y * data.Stride, size_t(width) * 4);
  }
  bitmap.UnlockBits(&data);
  return pixels;
}

TEST_F(PargbRebuild, OnePixelKeepsItsFourBytes) {
  const HBITMAP section = repng::test::MakeDibSection(1, 1, {0x80402010});
  std::unique_ptr<Gdiplus::Bitmap> bitmap = CreatePargbBitmapFromHBitmap(section);
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->GetWidth(), 1u);
  EXPECT_EQ(bitmap->GetHeight(), 1u);
  Gdiplus::BitmapData data{};
  ASSERT_EQ(bitmap->LockBits(nullptr, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &data), Gdiplus::Ok);
  const BYTE* bytes = static_cast<const BYTE*>(data.Scan0);
  EXPECT_EQ(bytes[0], 0x10);  // blue
  EXPECT_EQ(bytes[1], 0x20);  // green
  EXPECT_EQ(bytes[2], 0x40);  // red
  EXPECT_EQ(bytes[3], 0x80);  // alpha
  bitmap->UnlockBits(&data);
  DeleteObject(section);
}

TEST_F(PargbRebuild, RowsKeepTheirOrderAndValues) {
  const std::vector<uint32_t> pixels = {0xFF000001, 0xFF000002, 0x40101010, 0x00000000, 0xFFFFFFFF, 0x01010101};
  const HBITMAP section = repng::test::MakeDibSection(2, 3, pixels);
  std::unique_ptr<Gdiplus::Bitmap> bitmap = CreatePargbBitmapFromHBitmap(section);
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(LockedPixels(*bitmap, 2, 3), pixels);

  std::unique_ptr<UINT[]> bottom_up = ReadHBitmapBits(section, 2, 3, true);
  ASSERT_NE(bottom_up, nullptr);
  EXPECT_EQ(bottom_up[0], pixels[4]);
  EXPECT_EQ(bottom_up[5], pixels[1]);
  DeleteObject(section);
}

TEST_F(PargbRebuild, FewerRowsThanAskedFailTheRead) {
  const HBITMAP section = repng::test::MakeDibSection(1, 3, {1, 2, 3});
  repng::test::EmptyMemoryDCCache();
  repng::posix::testing::SetGetDIBitsRowLimit(2);
  EXPECT_EQ(ReadHBitmapBits(section, 1, 3, false), nullptr);
  EXPECT_EQ(CreatePargbBitmapFromHBitmap(section), nullptr);
  // The context went back to the cache all the same.
  EXPECT_EQ(repng::test::CachedContextCount(), 1u);
  DeleteObject(section);
}

TEST_F(PargbRebuild, UnknownHandleGivesNull) {
  const HBITMAP section = repng::test::MakeDibSection(1, 1, {0});
  DeleteObject(section);
  EXPECT_EQ(CreatePargbBitmapFromHBitmap(section), nullptr);
}

TEST_F(PargbRebuild, OversizedReadThrowsBeforeAnyContextIsTaken) {
  const HBITMAP section = repng::test::MakeDibSection(1, 1, {0});
  const auto slots = MemoryDCCacheSlotsForTesting();
  const auto counts = repng::posix::testing::CurrentGdiCallCounts();
  EXPECT_THROW(ReadHBitmapBits(section, 32768, 32768, false), std::bad_alloc);
  EXPECT_THROW(ReadHBitmapBits(section, 0x7FFFFFFF, 2, true), std::bad_alloc);
  EXPECT_EQ(MemoryDCCacheSlotsForTesting(), slots);
  EXPECT_EQ(repng::posix::testing::CurrentGdiCallCounts().get_dibits, counts.get_dibits);
  EXPECT_EQ(repng::posix::testing::CurrentGdiCallCounts().create_compatible_dc, counts.create_compatible_dc);
  DeleteObject(section);
}

}  // namespace
