#include <gtest/gtest.h>

#include "text/display_name.h"
#include "text/format_size.h"
#include "text/format_text.h"
#include "text/wide_to_narrow.h"

namespace {

TEST(DisplayNameOf, OnlyTheLastBackslashSeparates) {
  EXPECT_EQ(DisplayNameOf(TEXT("C:\\pics\\a.png")), TEXT("a.png"));
  EXPECT_EQ(DisplayNameOf(TEXT("/home/u/pics\\x/a.png")), TEXT("x/a.png"));  // slashes do not separate
  EXPECT_EQ(DisplayNameOf(TEXT("D:\\")), TEXT(""));
  EXPECT_EQ(DisplayNameOf(TEXT("")), TEXT(""));
}

TEST(FormatSize, BytesBelowOneKilobyteThenKilobytesWithTiesRoundingUp) {
  const std::string bytes = "\xD7\xD6\xBD\xDA";  // 字节
  EXPECT_EQ(FormatSize(0), "0" + bytes);
  EXPECT_EQ(FormatSize(1023), "1023" + bytes);
  EXPECT_EQ(FormatSize(1024), "1.00K");
  EXPECT_EQ(FormatSize(1029), "1.00K");  // 1.0048828125
  EXPECT_EQ(FormatSize(1030), "1.01K");  // 1.005859375
  EXPECT_EQ(FormatSize(1152), "1.13K");  // 1.125, a tie
  EXPECT_EQ(FormatSize(1048575), "1024.00K");  // the carry reaches the whole part
  EXPECT_EQ(FormatSize(4294967295u), "4194304.00K");
}

TEST(FormatText, TextsBeyondTheLocalBufferComeOutWhole) {
  for (std::size_t length : {1021u, 1022u, 5000u}) {
    const std::string text(length, 'x');
    EXPECT_EQ(FormatText("<%s>", text.c_str()), "<" + text + ">");
  }
}

TEST(WideToNarrow, NamesBecomeGbkWithTheDefaultCharacterForTheRest) {
  EXPECT_EQ(WideToNarrow(u"\u7167\u7247.bmp", CP_ACP), "\xD5\xD5\xC6\xAC.bmp");  // 照片.bmp
  EXPECT_EQ(WideToNarrow(u"a\U0001F600b\xDC80.png", CP_ACP), "a?b?.png");
  EXPECT_EQ(WideToNarrow(u"", CP_ACP), "");
  EXPECT_EQ(WideToNarrow(u"a.png", 12345), "");  // a code page the platform refuses
  // 255 two-byte characters fill the 510 bytes of the local buffer; longer
  // names take the measured path.
  for (std::size_t characters : {255u, 256u, 1000u}) {
    std::string expected;
    for (std::size_t i = 0; i < characters; ++i) expected += "\xCD\xBC";
    const std::u16string name(characters, u'\u56FE');  // 图
    EXPECT_EQ(WideToNarrow(name, CP_ACP), expected) << characters;
    EXPECT_EQ(WideToNarrow(name + u"z", CP_ACP), expected + "z") << characters;
  }
}

}  // namespace
