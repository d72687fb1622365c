#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "gdiplus/dib_reader.h"
#include "imaging/imaging.h"
#include "platform/gdiplus/gdiplus_test_hooks.h"
#include "platform/posix/gdi/gdi_test_hooks.h"

namespace {

const std::vector<uint32_t> kPixels = {0xFF204060, 0x80400000, 0x00000000, 0xFFFFFFFF, 0x10101010, 0xC0C08040};

class EncodePng : public ::testing::Test {
 protected:
  void SetUp() override { section_ = repng::test::MakeDibSection(3, 2, kPixels); }
  void TearDown() override {
    repng::gdiplus::testing::RestoreEncoderList();
    DeleteObject(section_);
  }

  static repng::gdiplus::EncoderRecord RecordWithMimeType(const std::u16string& mime_type) {
    repng::gdiplus::EncoderRecord record = repng::gdiplus::PngEncoderRecord();
    record.mime_type = mime_type;
    return record;
  }

  HBITMAP section_ = nullptr;
};

TEST_F(EncodePng, LengthIsWrittenExactlyWhenABufferIsReturned) {
  UINT length = 12345;
  std::unique_ptr<BYTE[]> png = EncodeHBitmapToPng(section_, &length);
  ASSERT_NE(png, nullptr);
  ASSERT_GT(length, 8u);
  EXPECT_EQ(std::memcmp(png.get(), "\x89PNG\r\n\x1a\n", 8), 0);
  EXPECT_EQ(std::memcmp(png.get() + length - 8, "IEND\xae\x42\x60\x82", 8), 0);

  // The bytes decode to the rebuilt bitmap's size and pixels.
  const HBITMAP decoded = LoadImageToHBitmap(png.get(), length);
  ASSERT_NE(decoded, nullptr);
  const repng::test::DibPixels back = repng::test::ReadDibPixels(decoded);
  EXPECT_EQ(back.width, 3);
  EXPECT_EQ(back.height, 2);
  EXPECT_EQ(back.pixels, kPixels);
  DeleteObject(decoded);
}

TEST_F(EncodePng, NullLengthPointerStillGivesTheBuffer) {
  EXPECT_NE(EncodeHBitmapToPng(section_, nullptr), nullptr);
}

TEST_F(EncodePng, FailureLeavesTheLengthAlone) {
  UINT length = 777;
  EXPECT_EQ(EncodeHBitmapToPng(nullptr, &length), nullptr);
  const HBITMAP gone = repng::test::MakeDibSection(1, 1, {0});
  DeleteObject(gone);
  EXPECT_EQ(EncodeHBitmapToPng(gone, &length), nullptr);
  EXPECT_EQ(length, 777u);
}

TEST_F(EncodePng, AListWithoutPngNeverReadsTheHandle) {
  // Near misses: the match is exact and case-sensitive.
  repng::gdiplus::testing::ReplaceEncoderList(
      {RecordWithMimeType(u"image/bmp"), RecordWithMimeType(u"image/PNG"), RecordWithMimeType(u"image/png ")});
  const auto before = repng::posix::testing::CurrentGdiCallCounts();
  UINT length = 777;
  EXPECT_EQ(EncodeHBitmapToPng(section_, &length), nullptr);
  EXPECT_EQ(length, 777u);
  const auto after = repng::posix::testing::CurrentGdiCallCounts();
  EXPECT_EQ(after.get_object, before.get_object);
  EXPECT_EQ(after.get_dibits, before.get_dibits);

  repng::gdiplus::testing::ReplaceEncoderList({});
  EXPECT_EQ(EncodeHBitmapToPng(section_, &length), nullptr);
}

TEST_F(EncodePng, TheWalkGoesOnPastARecordThatCannotSave) {
  repng::gdiplus::EncoderRecord broken = RecordWithMimeType(u"image/png");
  broken.clsid.Data1 ^= 1;
  broken.encode = nullptr;
  repng::gdiplus::testing::ReplaceEncoderList({broken, repng::gdiplus::PngEncoderRecord()});
  UINT length = 0;
  EXPECT_NE(EncodeHBitmapToPng(section_, &length), nullptr);
  EXPECT_GT(length, 0u);

  // A later failing record keeps what an earlier one produced.
  repng::gdiplus::testing::ReplaceEncoderList({repng::gdiplus::PngEncoderRecord(), broken});
  UINT second_length = 0;
  EXPECT_NE(EncodeHBitmapToPng(section_, &second_length), nullptr);
  EXPECT_EQ(second_length, length);
}

}  // namespace
