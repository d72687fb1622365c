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

// Each test starts the library and shuts it down again, so that a test can
// also see it not started.
class GdiplusFlat : public ::testing::Test {
 protected:
  void SetUp() override {
    const GdiplusStartupInput input;
    ASSERT_EQ(GdiplusStartup(&token_, &input, nullptr), Ok);
  }
  void TearDown() override { GdiplusShutdown(token_); }

  // A bitmap of the given format holding `pixels` (width * height of them).
  static GpBitmap* MakeBitmap(INT width, INT height, PixelFormat format, const std::vector<uint32_t>& pixels) {
    GpBitmap* bitmap = nullptr;
    EXPECT_EQ(GdipCreateBitmapFromScan0(width, height, 0, format, nullptr, &bitmap), Ok);
    BitmapData data{};
    EXPECT_EQ(GdipBitmapLockBits(bitmap, nullptr, ImageLockModeWrite, format, &data), Ok);
    for (INT y = 0; y < height; ++y) {
      std::memcpy(static_cast<BYTE*>(data.Scan0) + y * data.Stride, &pixels[size_t(y * width)],
                  size_t(width) * 4);
    }
    EXPECT_EQ(GdipBitmapUnlockBits(bitmap, &data), Ok);
    return bitmap;
  }

  ULONG_PTR token_ = 0;
};

TEST(GdiplusNotStarted, EveryOperationRefusesUntilAStartSucceeds) {
  repng::gdiplus::testing::SetStartupFails(true);
  ULONG_PTR token = 0;
  const GdiplusStartupInput input;
  EXPECT_NE(GdiplusStartup(&token, &input, nullptr), Ok);
  repng::gdiplus::testing::SetStartupFails(false);

  GpBitmap* bitmap = nullptr;
  EXPECT_EQ(GdipCreateBitmapFromScan0(1, 1, 0, PixelFormat32bppPARGB, nullptr, &bitmap), GdiplusNotInitialized);
  EXPECT_EQ(bitmap, nullptr);
  UINT count = 0;
  UINT size = 0;
  EXPECT_EQ(GdipGetImageEncodersSize(&count, &size), GdiplusNotInitialized);
}

TEST_F(GdiplusFlat, LockingGivesTopDownRowsOnceAtATime) {
  GpBitmap* bitmap = nullptr;
  ASSERT_EQ(GdipCreateBitmapFromScan0(3, 2, 0, PixelFormat32bppPARGB, nullptr, &bitmap), Ok);
  const GpRect whole(0, 0, 3, 2);
  BitmapData data{};
  ASSERT_EQ(GdipBitmapLockBits(bitmap, &whole, ImageLockModeWrite, PixelFormat32bppPARGB, &data), Ok);
  EXPECT_EQ(data.Stride, 12);
  ASSERT_NE(data.Scan0, nullptr);

  BitmapData second{};
  EXPECT_EQ(GdipBitmapLockBits(bitmap, &whole, ImageLockModeWrite, PixelFormat32bppPARGB, &second), WrongState);
  EXPECT_EQ(GdipBitmapUnlockBits(bitmap, &data), Ok);
  EXPECT_EQ(GdipBitmapUnlockBits(bitmap, &data), WrongState);
  EXPECT_EQ(GdipBitmapLockBits(bitmap, &whole, ImageLockModeWrite, PixelFormat32bppARGB, &data), InvalidParameter);
  EXPECT_EQ(GdipDisposeImage(bitmap), Ok);
}

TEST_F(GdiplusFlat, HBitmapIsPremultipliedAndCompositedOverTheBackground) {
  const size_t live = repng::posix::testing::LiveGdiObjectCount();
  GpBitmap* bitmap = MakeBitmap(3, 1, PixelFormat32bppARGB, {0x80FF0000, 0x00123456, 0xFF00FF00});

  HBITMAP over_nothing = nullptr;
  ASSERT_EQ(GdipCreateHBITMAPFromBitmap(bitmap, &over_nothing, 0), Ok);
  EXPECT_EQ(repng::test::ReadDibPixels(over_nothing).pixels,
            (std::vector<uint32_t>{0x80800000, 0x00000000, 0xFF00FF00}));

  HBITMAP over_blue = nullptr;
  ASSERT_EQ(GdipCreateHBITMAPFromBitmap(bitmap, &over_blue, 0xFF0000FF), Ok);
  EXPECT_EQ(repng::test::ReadDibPixels(over_blue).pixels[0], 0xFF80007Fu);

  DeleteObject(over_nothing);
  DeleteObject(over_blue);
  GdipDisposeImage(bitmap);
  EXPECT_EQ(repng::posix::testing::LiveGdiObjectCount(), live);
}

TEST_F(GdiplusFlat, EncoderListIsOneSelfContainedPngRecord) {
  UINT count = 0;
  UINT size = 0;
  ASSERT_EQ(GdipGetImageEncodersSize(&count, &size), Ok);
  ASSERT_EQ(count, 1u);
  ASSERT_GT(size, sizeof(ImageCodecInfo));
  std::vector<ImageCodecInfo> buffer(size / sizeof(ImageCodecInfo) + 1);
  EXPECT_EQ(GdipGetImageEncoders(count, size - 1, buffer.data()), GenericError);
  ASSERT_EQ(GdipGetImageEncoders(count, size, buffer.data()), Ok);

  const ImageCodecInfo& png = buffer[0];
  EXPECT_EQ(std::u16string(png.MimeType), u"image/png");
  EXPECT_EQ(std::u16string(png.FilenameExtension), u"*.PNG");
  EXPECT_EQ(png.Clsid, repng::gdiplus::PngEncoderRecord().clsid);
  // Everything a record points to lies in the caller's buffer.
  const auto* begin = reinterpret_cast<const BYTE*>(buffer.data());
  const auto* mime = reinterpret_cast<const BYTE*>(png.MimeType);
  EXPECT_TRUE(mime > begin && mime < begin + size);
}

TEST_F(GdiplusFlat, SavedPngDecodesToTheSamePremultipliedPixels) {
  const std::vector<uint32_t> pixels = {0xFF102030, 0x80404000, 0x00000000, 0x01010000, 0xFFFFFFFF, 0x7F7F7F7F};
  GpBitmap* bitmap = MakeBitmap(3, 2, PixelFormat32bppPARGB, pixels);

  IStream* stream = nullptr;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
  const CLSID png = repng::gdiplus::PngEncoderRecord().clsid;
  ASSERT_EQ(GdipSaveImageToStream(bitmap, stream, &png, nullptr), Ok);
  STATSTG stat{};
  ASSERT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
  EXPECT_GT(stat.cbSize.QuadPart, 8u);

  LARGE_INTEGER start{};
  ASSERT_EQ(stream->Seek(start, STREAM_SEEK_SET, nullptr), S_OK);
  GpBitmap* decoded = nullptr;
  ASSERT_EQ(GdipCreateBitmapFromStream(stream, &decoded), Ok);
  stream->Release();
  HBITMAP section = nullptr;
  ASSERT_EQ(GdipCreateHBITMAPFromBitmap(decoded, &section, 0), Ok);
  const repng::test::DibPixels back = repng::test::ReadDibPixels(section);
  EXPECT_EQ(back.width, 3);
  EXPECT_EQ(back.height, 2);
  EXPECT_EQ(back.pixels, pixels);

  DeleteObject(section);
  GdipDisposeImage(decoded);
  GdipDisposeImage(bitmap);
}

TEST_F(GdiplusFlat, SaveFailsForUnknownEncodersAndLockedBitmaps) {
  GpBitmap* bitmap = MakeBitmap(1, 1, PixelFormat32bppPARGB, {0xFF000000});
  IStream* stream = nullptr;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
  const CLSID unknown = {1, 2, 3, {4}};
  EXPECT_EQ(GdipSaveImageToStream(bitmap, stream, &unknown, nullptr), FileNotFound);

  const CLSID png = repng::gdiplus::PngEncoderRecord().clsid;
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

}  // namespace
