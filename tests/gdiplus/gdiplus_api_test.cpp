#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "gdiplus/dib_reader.h"
#include "platform/gdiplus/gdiplus.h"
#include "platform/gdiplus/gdiplus_test_hooks.h"
#include "platform/posix/gdi/gdi_test_hooks.h"
#include "platform/windows_api.h"

namespace {

using namespace Gdiplus;
using namespace Gdiplus::DllExports;
namespace hooks = repng::gdiplus::testing;

// Each test starts the library and shuts it down again, so that a test can
// also see it not started.
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

  // A bitmap of the given format holding `pixels`, one row.
  static GpBitmap* MakeBitmap(PixelFormat format, const std::vector<uint32_t>& pixels) {
    GpBitmap* bitmap = nullptr;
    EXPECT_EQ(GdipCreateBitmapFromScan0(INT(pixels.size()), 1, 0, format, nullptr, &bitmap), Ok);
    BitmapData data{};
    EXPECT_EQ(GdipBitmapLockBits(bitmap, nullptr, ImageLockModeWrite, format, &data), Ok);
    std::memcpy(data.Scan0, pixels.data(), pixels.size() * 4);
    EXPECT_EQ(GdipBitmapUnlockBits(bitmap, &data), Ok);
    return bitmap;
  }

  ULONG_PTR token_ = 0;
  size_t live_images_ = 0;
};

TEST(GdiplusNotStarted, EveryOperationRefusesUntilAStartSucceeds) {
  hooks::SetStartupFails(true);
  ULONG_PTR token = 0;
  const GdiplusStartupInput input;
  EXPECT_NE(GdiplusStartup(&token, &input, nullptr), Ok);
  hooks::SetStartupFails(false);
  GpBitmap* bitmap = nullptr;
  EXPECT_EQ(GdipCreateBitmapFromScan0(1, 1, 0, PixelFormat32bppPARGB, nullptr, &bitmap), GdiplusNotInitialized);
  EXPECT_EQ(bitmap, nullptr);
  UINT count = 0, size = 0;
  EXPECT_EQ(GdipGetImageEncodersSize(&count, &size), GdiplusNotInitialized);
}

TEST_F(GdiplusApi, LockingGivesTopDownRowsOnceAtATime) {
  GpBitmap* bitmap = nullptr;
  ASSERT_EQ(GdipCreateBitmapFromScan0(3, 2, 0, PixelFormat32bppPARGB, nullptr, &bitmap), Ok);
  const GpRect whole(0, 0, 3, 2);
  BitmapData data{}, second{};
  ASSERT_EQ(GdipBitmapLockBits(bitmap, &whole, ImageLockModeWrite, PixelFormat32bppPARGB, &data), Ok);
  EXPECT_EQ(data.Stride, 12);
  EXPECT_EQ(GdipBitmapLockBits(bitmap, &whole, ImageLockModeWrite, PixelFormat32bppPARGB, &second), WrongState);
  EXPECT_EQ(GdipBitmapUnlockBits(bitmap, &data), Ok);
  EXPECT_EQ(GdipBitmapUnlockBits(bitmap, &data), WrongState);
  EXPECT_EQ(GdipBitmapLockBits(bitmap, &whole, ImageLockModeWrite, PixelFormat32bppARGB, &data), InvalidParameter);
  EXPECT_EQ(GdipDisposeImage(bitmap), Ok);
}

TEST_F(GdiplusApi, HBitmapIsPremultipliedAndCompositedOverTheBackground) {
  const size_t live = repng::posix::testing::LiveGdiObjectCount();
  GpBitmap* bitmap = MakeBitmap(PixelFormat32bppARGB, {0x80FF0000, 0x00123456, 0xFF00FF00});
  HBITMAP over_nothing = nullptr, over_blue = nullptr;
  ASSERT_EQ(GdipCreateHBITMAPFromBitmap(bitmap, &over_nothing, 0), Ok);
  EXPECT_EQ(repng::test::ReadDibPixels(over_nothing).pixels,
            (std::vector<uint32_t>{0x80800000, 0x00000000, 0xFF00FF00}));
  ASSERT_EQ(GdipCreateHBITMAPFromBitmap(bitmap, &over_blue, 0xFF0000FF), Ok);
  EXPECT_EQ(repng::test::ReadDibPixels(over_blue).pixels[0], 0xFF80007Fu);
  for (const HBITMAP handle : {over_nothing, over_blue}) DeleteObject(handle);
  GdipDisposeImage(bitmap);
  EXPECT_EQ(repng::posix::testing::LiveGdiObjectCount(), live);
}

TEST_F(GdiplusApi, EncoderListIsOneSelfContainedPngRecord) {
  UINT count = 0, size = 0;
  ASSERT_EQ(GdipGetImageEncodersSize(&count, &size), Ok);
  ASSERT_EQ(count, 1u);
  std::vector<ImageCodecInfo> buffer(size / sizeof(ImageCodecInfo) + 1);
  EXPECT_EQ(GdipGetImageEncoders(count, size - 1, buffer.data()), GenericError);
  ASSERT_EQ(GdipGetImageEncoders(count, size, buffer.data()), Ok);
  EXPECT_EQ(std::u16string(buffer[0].MimeType), u"image/png");
  EXPECT_EQ(buffer[0].Clsid, repng::gdiplus::PngEncoderRecord().clsid);
  // Everything a record points to lies in the caller's buffer.
  const auto* begin = reinterpret_cast<const BYTE*>(buffer.data());
  const auto* mime = reinterpret_cast<const BYTE*>(buffer[0].MimeType);
  EXPECT_TRUE(mime > begin && mime < begin + size);
}

TEST_F(GdiplusApi, SaveFailsForUnknownEncodersAndLockedBitmaps) {
  GpBitmap* bitmap = MakeBitmap(PixelFormat32bppPARGB, {0xFF000000});
  IStream* stream = nullptr;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
  const CLSID unknown = {1, 2, 3, {4}}, png = repng::gdiplus::PngEncoderRecord().clsid;
  EXPECT_EQ(GdipSaveImageToStream(bitmap, stream, &unknown, nullptr), FileNotFound);
  BitmapData data{};
  ASSERT_EQ(GdipBitmapLockBits(bitmap, nullptr, ImageLockModeRead, PixelFormat32bppPARGB, &data), Ok);
  EXPECT_EQ(GdipSaveImageToStream(bitmap, stream, &png, nullptr), WrongState);
  GdipBitmapUnlockBits(bitmap, &data);
  STATSTG stat{};
  stream->Stat(&stat, STATFLAG_NONAME);
  EXPECT_EQ(stat.cbSize.QuadPart, 0u);
  stream->Release();
  GdipDisposeImage(bitmap);
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
  Image* clone = bitmap.Clone();
  ASSERT_NE(clone, nullptr);
  EXPECT_EQ(clone->GetWidth(), 3u);
  delete clone;
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
