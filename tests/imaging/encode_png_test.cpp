#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "gdiplus/dib_reader.h"
#include "imaging/imaging.h"
#include "platform/gdiplus/gdiplus_test_hooks.h"
#include "platform/posix/gdi/gdi_test_hooks.h"

namespace {

using repng::gdiplus::EncoderRecord;
using repng::gdiplus::PngEncoderRecord;
using repng::gdiplus::testing::ReplaceEncoderList;

class EncodePng : public ::testing::Test {
 protected:
  void TearDown() override {
    repng::gdiplus::testing::RestoreEncoderList();
    DeleteObject(section_);
  }
  static EncoderRecord WithMimeType(const std::u16string& mime_type) {
    EncoderRecord record = PngEncoderRecord();
    record.mime_type = mime_type;
    return record;
  }

  HBITMAP section_ = repng::test::MakeDibSection(3, 2, {0xFF204060, 0x80400000, 0, 0xFFFFFFFF, 0x10101010, 0xC0C08040});
};

TEST_F(EncodePng, LengthIsWrittenExactlyWhenABufferIsReturned) {
  UINT length = 12345;
  std::unique_ptr<BYTE[]> png = EncodeHBitmapToPng(section_, &length);
  ASSERT_NE(png, nullptr);
  ASSERT_GT(length, 8u);
  EXPECT_EQ(std::memcmp(png.get(), "\x89PNG\r\n\x1a\n", 8), 0);
  EXPECT_EQ(std::memcmp(png.get() + length - 8, "IEND\xae\x42\x60\x82", 8), 0);
  EXPECT_NE(EncodeHBitmapToPng(section_, nullptr), nullptr) << "a null length pointer still gives the buffer";

  length = 777;
  EXPECT_EQ(EncodeHBitmapToPng(nullptr, &length), nullptr);
  const HBITMAP gone = repng::test::MakeDibSection(1, 1, {0});
  DeleteObject(gone);
  EXPECT_EQ(EncodeHBitmapToPng(gone, &length), nullptr);
  EXPECT_EQ(length, 777u);
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
    EXPECT_EQ(after.get_object, before.get_object);
    EXPECT_EQ(after.get_dibits, before.get_dibits);
  }
}

TEST_F(EncodePng, ARecordThatCannotSaveNeitherStopsTheWalkNorUndoesAResult) {
  EncoderRecord broken = WithMimeType(u"image/png");
  broken.clsid.Data1 ^= 1;
  broken.encode = nullptr;
  std::vector<UINT> lengths;
  for (const auto& list : {std::vector<EncoderRecord>{broken, PngEncoderRecord()},
                           std::vector<EncoderRecord>{PngEncoderRecord(), broken}}) {
    ReplaceEncoderList(list);
    UINT length = 0;
    EXPECT_NE(EncodeHBitmapToPng(section_, &length), nullptr);
    lengths.push_back(length);
  }
  EXPECT_GT(lengths[0], 0u);
  EXPECT_EQ(lengths[1], lengths[0]);
}

}  // namespace
