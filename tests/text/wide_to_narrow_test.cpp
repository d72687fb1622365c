#include "text/wide_to_narrow.h"

#include <gtest/gtest.h>

namespace {

TEST(WideToNarrowTest, ChineseNamesBecomeTheirGbkBytes) {
  EXPECT_EQ(WideToNarrow(u"\u7167\u7247.bmp", CP_ACP), "\xD5\xD5\xC6\xAC.bmp");  // 照片.bmp
  EXPECT_EQ(WideToNarrow(u"", CP_ACP), "");
}

TEST(WideToNarrowTest, CharactersOutsideGbkBecomeTheDefaultCharacter) {
  EXPECT_EQ(WideToNarrow(u"a\U0001F600b.png", CP_ACP), "a?b.png");  // an emoji: one ? for the pair
  EXPECT_EQ(WideToNarrow(u"x\xDC80y", CP_ACP), "x?y");             // a raw byte of a file name
}

TEST(WideToNarrowTest, LongNamesGoThroughTheMeasuredPathUnchanged) {
  const std::u16string chinese_unit = u"\u56FE";  // 图, two GBK bytes
  const std::string gbk_unit = "\xCD\xBC";
  // 255 units make 510 bytes, the most the local buffer takes; 256 and more
  // need the heap.
  for (std::size_t units : {255u, 256u, 1000u}) {
    std::u16string name;
    std::string expected;
    for (std::size_t i = 0; i < units; ++i) {
      name += chinese_unit;
      expected += gbk_unit;
    }
    EXPECT_EQ(WideToNarrow(name, CP_ACP), expected) << units << " units";
    EXPECT_EQ(WideToNarrow(name + u"z", CP_ACP), expected + "z") << units << " units and one";
  }
}

TEST(WideToNarrowTest, RefusedConversionGivesTheEmptyString) {
  EXPECT_EQ(WideToNarrow(u"a.png", 12345), "");
}

}  // namespace
