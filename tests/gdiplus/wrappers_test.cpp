#include <gtest/gtest.h>

#include "platform/gdiplus/gdiplus.h"
#include "platform/gdiplus/gdiplus_test_hooks.h"
#include "platform/windows_api.h"

namespace {

using namespace Gdiplus;

class GdiplusWrappers : public ::testing::Test {
 protected:
  void SetUp() override {
    const GdiplusStartupInput input;
    ASSERT_EQ(GdiplusStartup(&token_, &input, nullptr), Ok);
    live_images_ = repng::gdiplus::testing::LiveImageCount();
  }
  void TearDown() override {
    repng::gdiplus::testing::SetGdipAllocFails(false);
    EXPECT_EQ(repng::gdiplus::testing::LiveImageCount(), live_images_);
    GdiplusShutdown(token_);
  }

  ULONG_PTR token_ = 0;
  size_t live_images_ = 0;
};

TEST_F(GdiplusWrappers, NoStorageMeansNoObjectAndNoConstructor) {
  repng::gdiplus::testing::SetGdipAllocFails(true);
  Bitmap* bitmap = new Bitmap(4, 4, PixelFormat32bppPARGB);
  EXPECT_EQ(bitmap, nullptr);
  // No constructor ran, so no native bitmap was made (checked in TearDown).
}

TEST_F(GdiplusWrappers, LastStatusHoldsTheLastFailureUntilRead) {
  Bitmap blank_failure(0, 0, PixelFormat32bppPARGB);
  EXPECT_EQ(blank_failure.GetLastStatus(), InvalidParameter);
  EXPECT_EQ(blank_failure.GetLastStatus(), Ok);

  Bitmap bitmap(2, 2, PixelFormat32bppPARGB);
  EXPECT_EQ(bitmap.GetLastStatus(), Ok);
  BitmapData data{};
  const Rect whole(0, 0, 2, 2);
  EXPECT_EQ(bitmap.LockBits(&whole, ImageLockModeWrite, PixelFormat32bppARGB, &data), InvalidParameter);
  // A later success does not clear the stored failure.
  ASSERT_EQ(bitmap.LockBits(&whole, ImageLockModeWrite, PixelFormat32bppPARGB, &data), Ok);
  EXPECT_EQ(bitmap.UnlockBits(&data), Ok);
  EXPECT_EQ(bitmap.GetLastStatus(), InvalidParameter);
  EXPECT_EQ(bitmap.GetLastStatus(), Ok);
}

TEST_F(GdiplusWrappers, CloneNeverLosesTheCopy) {
  Bitmap bitmap(3, 1, PixelFormat32bppPARGB);
  Image* clone = bitmap.Clone();
  ASSERT_NE(clone, nullptr);
  EXPECT_EQ(clone->GetWidth(), 3u);
  delete clone;

  // Without storage for the wrapper the native copy is disposed of (TearDown
  // counts the native images).

  repng::gdiplus::testing::SetGdipAllocFails(true);
  EXPECT_EQ(bitmap.Clone(), nullptr);
}

}  // namespace
