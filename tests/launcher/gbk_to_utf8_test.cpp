// The launcher's converter: the report's GBK bytes become the same text in
// UTF-8 however the pipe cuts them, and damaged bytes are shown, not lost.
#include <gtest/gtest.h>

#include <string>

#include "launcher/gbk_to_utf8.h"
#include "text/report_literals.h"

namespace repng::launcher {
namespace {

std::string Whole(const std::string& gbk) {
  GbkToUtf8 converter;
  EXPECT_TRUE(converter.IsOpen());
  return converter.Convert(gbk) + converter.Finish();
}

// Every fixed text of the report reads as the Chinese it is meant to be.
TEST(GbkToUtf8, ReportTextsReadAsTheirChinese) {
  EXPECT_EQ(Whole(kNotImageLine), "%s，不是图片，跳过。\n");
  EXPECT_EQ(Whole(kOldSizeHead), "%s，原大小：%s");
  EXPECT_EQ(Whole(kOldSizeUnknownHead), "%s，原大小：未知");
  EXPECT_EQ(Whole(kNewSizeTail), "，新大小：%s。\n");
  EXPECT_EQ(Whole(kNotProcessedTail), "，不处理。\n");
  EXPECT_EQ(Whole(kWriteFailedTail), "，写入失败，文件未改动。\n");
  EXPECT_EQ(Whole(kWriteFailedDamagedTail), "，写入失败，文件已损坏，原内容在%s。\n");
  EXPECT_EQ(Whole(kWriteFailedNewElsewhereTail), "，写入失败，原文件已移除，新图片在%s。\n");
  EXPECT_EQ(Whole(kSizeBytesFormat), "%u字节");
  // The console's prompt, CRLF kept; 0x80 is the euro sign of code page 936.
  EXPECT_EQ(Whole("\xC7\xEB\xB0\xB4\xC8\xCE\xD2\xE2\xBC\xFC\xBC\xCC\xD0\xF8. . .\r\n\x80"),
            "请按任意键继续. . .\r\n€");
}

TEST(GbkToUtf8, CharactersCutBetweenPiecesComeOutWhole) {
  const std::string gbk = std::string("a.bmp") + kOldSizeHead + kNewSizeTail + "\xC4\xE3\xBA\xC3";
  const std::string expected = Whole(gbk);
  for (size_t cut = 0; cut <= gbk.size(); ++cut) {
    GbkToUtf8 converter;
    std::string shown = converter.Convert(gbk.substr(0, cut));
    shown += converter.Convert(gbk.substr(cut));
    shown += converter.Finish();
    EXPECT_EQ(shown, expected) << cut;
  }
  // One byte at a time, as a slow pipe may hand them over.
  GbkToUtf8 converter;
  std::string shown;
  for (const char byte : gbk) shown += converter.Convert(std::string(1, byte));
  EXPECT_EQ(shown + converter.Finish(), expected);
  // More than the converter's working buffer in one piece.
  std::string many;
  std::string many_expected;
  for (int i = 0; i < 3000; ++i) {
    many += "\xCD\xBC";  // 图
    many_expected += "图";
  }
  EXPECT_EQ(Whole(many + "\r\n"), many_expected + "\r\n");
}

TEST(GbkToUtf8, DamagedBytesAreShownAndTheRestStillReads) {
  // A byte that starts no character, and a lead byte without a trail byte
  // before a line end.
  EXPECT_EQ(Whole("a\xFF" "b"), "a\uFFFDb");
  EXPECT_EQ(Whole("\xB2\r\n\xB2\xBB"), "\uFFFD\r\n不");
  // A lead byte at the very end waits for a trail that never comes.
  GbkToUtf8 converter;
  EXPECT_EQ(converter.Convert("x\xB2"), "x");
  EXPECT_EQ(converter.Finish(), "\uFFFD");
  EXPECT_EQ(converter.Finish(), "");
  EXPECT_EQ(converter.Convert("\xB2\xBB"), "不");  // and starts afresh
}

}  // namespace
}  // namespace repng::launcher
