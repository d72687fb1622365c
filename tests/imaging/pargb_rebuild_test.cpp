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
