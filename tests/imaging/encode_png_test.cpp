#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "gdiplus/dib_reader.h"
#include "imaging/imaging.h"
#include "platform/gdiplus/gdiplus_test_hooks.h"
#include "platform/posix/gdi/gdi_test_hooks.h"

namespace {

using repng::gdiplus::EncoderRecord;
using repng::gdiplus::testing::ReplaceEncoderList;

EncoderRecord WithMimeType(const std::u16string& mime_type) {
  EncoderRecord record = repng::gdiplus::PngEncoderRecord();
  record.mime_type = mime_type;
  return record;
}

class EncodePng : public ::testing::Test {
 protected:
  void TearDown() override {
    repng::gdiplus::testing::RestoreEncoderList();
    DeleteObject(section_);
  }
  HBITMAP section_ = repng::test::MakeDibSection(3, 2, {0xFF204060, 0x80400000, 0, 0xFFFFFFFF, 0x10101010, 0xC0C08040});
};

TEST_F(EncodePng, LengthIsWrittenExactlyWhenABufferIsReturned) {
  UINT length = 12345;
  const std::unique_ptr<BYTE[]> png = EncodeHBitmapToPng(section_, &length);
  ASSERT_NE(png, nullptr);
  ASSERT_GT(length, 8u);
  EXPECT_EQ(std::memcmp(png.get(), "\x89PNG\r\n\x1a\n", 8), 0);
  EXPECT_EQ(std::memcmp(png.get() + length - 8, "IEND\xae\x42\x60\x82", 8), 0);
  EXPECT_NE(EncodeHBitmapToPng(section_, nullptr), nullptr) << "a null length pointer still gives the buffer";

  const HBITMAP gone = repng::test::MakeDibSection(1, 1, {0});
  DeleteObject(gone);
  for (const HBITMAP no_bitmap : {HBITMAP{}, gone}) {
    length = 777;
    EXPECT_EQ(EncodeHBitmapToPng(no_bitmap, &length), nullptr);
    EXPECT_EQ(length, 777u);
  }
}

TEST_F(EncodePng, AListWithoutPngNeverReadsTheHandle) {
  // Near misses: the match is exact and case-sensitive.
  for (const auto& list : {std::vector<EncoderRecord>{WithMimeType(u"image/bmp"), WithMimeType(u"image/PNG"),
                                                      WithMimeType(u"image/png ")},
                           std::vector<EncoderRecord>{}}) {
    ReplaceEncoderList(list);
    const auto before = repng::posix::testing::CurrentGdiCallCounts();
    UINT length = 777;
    EXPECT_EQ(EncodeHBitmapToPng(section_, &length), nullptr);
    EXPECT_EQ(length, 777u);
    const auto after = repng::posix::testing::CurrentGdiCallCounts();
    EXPECT_EQ(after.get_object + after.get_dibits, before.get_object + before.get_dibits);
  }
}

}  // namespace
