// The library's surface beyond what the imaging round trips already use:
// locks, refused saves, the encoder list's layout, the wrappers' storage
// and last status.
#include <gtest/gtest.h>

#include <vector>

#include "platform/gdiplus/gdiplus.h"
#include "platform/gdiplus/gdiplus_test_hooks.h"
#include "platform/windows_api.h"

namespace {

using namespace Gdiplus;
using namespace Gdiplus::DllExports;
namespace hooks = repng::gdiplus::testing;

class GdiplusApi : public ::testing::Test {
 protected:
  void SetUp() override {
    const GdiplusStartupInput input;
    ASSERT_EQ(GdiplusStartup(&token_, &input, nullptr), Ok);
    live_images_ = hooks::LiveImageCount();
  }
  void TearDown() override {
    hooks::SetGdipAllocFails(false);
    EXPECT_EQ(hooks::LiveImageCount(), live_images_);
    GdiplusShutdown(token_);
  }

  ULONG_PTR token_ = 0;
  size_t live_images_ = 0;
};

TEST_F(GdiplusApi, OneLockAtATimeAndNoSaveWhileLockedOrToAnUnknownEncoder) {
  GpBitmap* bitmap = nullptr;
  ASSERT_EQ(GdipCreateBitmapFromScan0(3, 2, 0, PixelFormat32bppPARGB, nullptr, &bitmap), Ok);
  const GpRect whole(0, 0, 3, 2);
  BitmapData data{}, second{};
  EXPECT_EQ(GdipBitmapLockBits(bitmap, &whole, ImageLockModeWrite, PixelFormat32bppARGB, &data), InvalidParameter);
  ASSERT_EQ(GdipBitmapLockBits(bitmap, &whole, ImageLockModeWrite, PixelFormat32bppPARGB, &data), Ok);
  EXPECT_EQ(data.Stride, 12);
  EXPECT_EQ(GdipBitmapLockBits(bitmap, &whole, ImageLockModeRead, PixelFormat32bppPARGB, &second), WrongState);
  IStream* stream = nullptr;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
  const CLSID unknown = {1, 2, 3, {4}}, png = repng::gdiplus::PngEncoderRecord().clsid;
  EXPECT_EQ(GdipSaveImageToStream(bitmap, stream, &png, nullptr), WrongState);
  EXPECT_EQ(GdipBitmapUnlockBits(bitmap, &data), Ok);
  EXPECT_EQ(GdipBitmapUnlockBits(bitmap, &data), WrongState);
  EXPECT_EQ(GdipSaveImageToStream(bitmap, stream, &unknown, nullptr), FileNotFound);
  STATSTG stat{};
  stream->Stat(&stat, STATFLAG_NONAME);
  EXPECT_EQ(stat.cbSize.QuadPart, 0u) << "a refused save writes nothing";
  stream->Release();
  EXPECT_EQ(GdipDisposeImage(bitmap), Ok);
}

TEST_F(GdiplusApi, EncoderListIsOneSelfContainedPngRecord) {
  UINT count = 0, size = 0;
  ASSERT_EQ(GdipGetImageEncodersSize(&count, &size), Ok);
  ASSERT_EQ(count, 1u);
  std::vector<ImageCodecInfo> buffer(size / sizeof(ImageCodecInfo) + 1);
  EXPECT_EQ(GdipGetImageEncoders(count, size - 1, buffer.data()), GenericError);
  ASSERT_EQ(GdipGetImageEncoders(count, size, buffer.data()), Ok);
  EXPECT_EQ(std::u16string(buffer[0].MimeType), u"image/png");
  // Everything a record points to lies in the caller's buffer.
  const auto* begin = reinterpret_cast<const BYTE*>(buffer.data());
  const auto* mime = reinterpret_cast<const BYTE*>(buffer[0].MimeType);
  EXPECT_TRUE(mime > begin && mime < begin + size);
}

TEST_F(GdiplusApi, WrapperWithoutStorageIsNullAndMakesNoNativeBitmap) {
  hooks::SetGdipAllocFails(true);
  EXPECT_EQ(new Bitmap(4, 4, PixelFormat32bppPARGB), nullptr);
  // Nor is a clone's native copy kept without its wrapper (TearDown counts).
  hooks::SetGdipAllocFails(false);
  Bitmap bitmap(3, 1, PixelFormat32bppPARGB);
  hooks::SetGdipAllocFails(true);
  EXPECT_EQ(bitmap.Clone(), nullptr);
  hooks::SetGdipAllocFails(false);
  const std::unique_ptr<Image> clone(bitmap.Clone());
  ASSERT_NE(clone, nullptr);
  EXPECT_EQ(clone->GetWidth(), 3u);
}

TEST_F(GdiplusApi, LastStatusHoldsTheLastFailureUntilRead) {
  Bitmap blank_failure(0, 0, PixelFormat32bppPARGB);
  EXPECT_EQ(blank_failure.GetLastStatus(), InvalidParameter);
  EXPECT_EQ(blank_failure.GetLastStatus(), Ok);
  Bitmap bitmap(2, 2, PixelFormat32bppPARGB);
  BitmapData data{};
  EXPECT_EQ(bitmap.LockBits(nullptr, ImageLockModeWrite, PixelFormat32bppARGB, &data), InvalidParameter);
  // A later success does not clear the stored failure.
  ASSERT_EQ(bitmap.LockBits(nullptr, ImageLockModeWrite, PixelFormat32bppPARGB, &data), Ok);
  EXPECT_EQ(bitmap.UnlockBits(&data), Ok);
  EXPECT_EQ(bitmap.GetLastStatus(), InvalidParameter);
  EXPECT_EQ(bitmap.GetLastStatus(), Ok);
}

}  // namespace
