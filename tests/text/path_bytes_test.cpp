#include "platform/posix/nls/path_bytes.h"

#include <gtest/gtest.h>

namespace {

using repng::posix::PathBytesToUtf16;
using repng::posix::Utf16ToPathBytes;

TEST(PathBytesTest, ValidUtf8DecodesAndEveryOtherByteIsEscaped) {
  EXPECT_EQ(PathBytesToUtf16("/tmp/\xE7\x85\xA7\xF0\x9F\x98\x80"), u"/tmp/\u7167\U0001F600");
  EXPECT_EQ(PathBytesToUtf16("a\xFF"), u"a\xDCFF");
  EXPECT_EQ(PathBytesToUtf16("\xC0\xAF"), u"\xDCC0\xDCAF");            // overlong "/"
  EXPECT_EQ(PathBytesToUtf16("\xED\xA0\x80"), u"\xDCED\xDCA0\xDC80");  // an encoded surrogate
  EXPECT_EQ(PathBytesToUtf16("\xE7\x85"), u"\xDCE7\xDC85");            // cut short
}

TEST(PathBytesTest, EveryByteStringSurvivesTheRoundTrip) {
  std::string all_bytes;
  for (int byte = 1; byte < 256; ++byte) all_bytes.push_back(static_cast<char>(byte));
  for (const std::string& bytes : {all_bytes, std::string("\xE7\x85\xA7\xE7\x85"), std::string("\xF4\x90\x80\x80")})
    EXPECT_EQ(Utf16ToPathBytes(PathBytesToUtf16(bytes)), bytes);
}

TEST(PathBytesTest, TextWithoutAByteFormIsRefused) {
  EXPECT_EQ(Utf16ToPathBytes(std::u16string(u"a\0b", 3)), std::nullopt);  // would cut the name short
  EXPECT_EQ(Utf16ToPathBytes(u"a\xDC41"), std::nullopt);                  // no byte below 0x80 is escaped
  EXPECT_EQ(Utf16ToPathBytes(u"\xD800"), std::nullopt);
}

}  // namespace
