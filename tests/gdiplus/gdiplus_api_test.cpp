// The library's surface beyond what the imaging round trips already use:
// locks, last status and the wrappers' storage.
#include <gtest/gtest.h>

#include "platform/gdiplus/gdiplus.h"
#include "platform/gdiplus/gdiplus_test_hooks.h"
#include "platform/windows_api.h"

namespace {

using namespace Gdiplus;
namespace hooks = repng::gdiplus::testing;

class GdiplusApi : public ::testing::Test {
 protected:
  void SetUp() override {
    const GdiplusStartupInput input;
    ASSERT_EQ(GdiplusStartup(&token_, &input, nullptr), Ok);
    live_images_ = hooks::LiveImageCount();
  }
  void TearDown() override {
    EXPECT_EQ(hooks::LiveImageCount(), live_images_);
    GdiplusShutdown(token_);
  }

  ULONG_PTR token_ = 0;
  size_t live_images_ = 0;
};

TEST_F(GdiplusApi, OneLockAtATimeAndTheLastFailureKeptUntilRead) {
  EXPECT_EQ(Bitmap(0, 0, PixelFormat32bppPARGB).GetLastStatus(), InvalidParameter);
  Bitmap bitmap(3, 2, PixelFormat32bppPARGB);
  BitmapData data{}, second{};
  EXPECT_EQ(bitmap.LockBits(nullptr, ImageLockModeWrite, PixelFormat32bppARGB, &data), InvalidParameter);
  ASSERT_EQ(bitmap.LockBits(nullptr, ImageLockModeWrite, PixelFormat32bppPARGB, &data), Ok);
  EXPECT_EQ(data.Stride, 12);
  EXPECT_EQ(bitmap.LockBits(nullptr, ImageLockModeRead, PixelFormat32bppPARGB, &second), WrongState);
  EXPECT_EQ(bitmap.UnlockBits(&data), Ok);
  EXPECT_EQ(bitmap.UnlockBits(&data), WrongState);
  // The last failure stays until read, whatever succeeded since.
  ASSERT_EQ(bitmap.LockBits(nullptr, ImageLockModeRead, PixelFormat32bppPARGB, &data), Ok);
  EXPECT_EQ(bitmap.UnlockBits(&data), Ok);
  EXPECT_EQ(bitmap.GetLastStatus(), WrongState);
  EXPECT_EQ(bitmap.GetLastStatus(), Ok);
}

TEST_F(GdiplusApi, WrapperWithoutStorageIsNullAndMakesNoNativeBitmap) {
  Bitmap bitmap(3, 1, PixelFormat32bppPARGB);
  hooks::SetGdipAllocFails(true);
  EXPECT_EQ(new Bitmap(4, 4, PixelFormat32bppPARGB), nullptr);
  // Nor is a clone's native copy kept without its wrapper (TearDown counts).
  EXPECT_EQ(bitmap.Clone(), nullptr);
  hooks::SetGdipAllocFails(false);
  const std::unique_ptr<Image> clone(bitmap.Clone());
  ASSERT_NE(clone, nullptr);
  EXPECT_EQ(clone->GetWidth(), 3u);
}

}  // namespace
