#include "text/wide_to_narrow.h"

#include <gtest/gtest.h>

namespace {

TEST(WideToNarrowTest, NamesBecomeGbkWithTheDefaultCharacterForTheRest) {
  EXPECT_EQ(WideToNarrow(u"\u7167\u7247.bmp", CP_ACP), "\xD5\xD5\xC6\xAC.bmp");  // 照片.bmp
  EXPECT_EQ(WideToNarrow(u"a\U0001F600b\xDC80.png", CP_ACP), "a?b?.png");
  EXPECT_EQ(WideToNarrow(u"", CP_ACP), "");
  EXPECT_EQ(WideToNarrow(u"a.png", 12345), "");  // a code page the platform refuses
}

TEST(WideToNarrowTest, LongNamesTakeTheMeasuredPathWithTheSameResult) {
  // 255 two-byte characters fill the 510 bytes of the local buffer.
  for (std::size_t characters : {255u, 256u, 1000u}) {
    const std::u16string name = std::u16string(characters, u'\u56FE') + u"z";  // 图
    std::string expected;
    for (std::size_t i = 0; i < characters; ++i) expected += "\xCD\xBC";
    EXPECT_EQ(WideToNarrow(name.substr(0, characters), CP_ACP), expected) << characters;
    EXPECT_EQ(WideToNarrow(name, CP_ACP), expected + "z") << characters;
  }
}

}  // namespace
