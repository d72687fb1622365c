#include "platform/posix/nls/path_bytes.h"

#include <gtest/gtest.h>

namespace {

using repng::posix::PathBytesToUtf16;
using repng::posix::Utf16ToPathBytes;

TEST(PathBytesTest, ValidUtf8DecodesAsText) {
  EXPECT_EQ(PathBytesToUtf16("/tmp/\xE7\x85\xA7\xE7\x89\x87.png"), u"/tmp/\u7167\u7247.png");
  EXPECT_EQ(PathBytesToUtf16("\xF0\x9F\x98\x80"), u"\U0001F600");
  EXPECT_EQ(Utf16ToPathBytes(u"/tmp/\u7167\u7247.png"), "/tmp/\xE7\x85\xA7\xE7\x89\x87.png");
}

TEST(PathBytesTest, BytesOutsideValidUtf8BecomeEscapes) {
  EXPECT_EQ(PathBytesToUtf16("a\xFF" "b"), u"a\xDCFF" u"b");
  EXPECT_EQ(PathBytesToUtf16("\xC0\xAF"), u"\xDCC0\xDCAF");              // overlong "/"
  EXPECT_EQ(PathBytesToUtf16("\xED\xA0\x80"), u"\xDCED\xDCA0\xDC80");    // an encoded surrogate
  EXPECT_EQ(PathBytesToUtf16("\xF4\x90\x80\x80"), u"\xDCF4\xDC90\xDC80\xDC80");  // above U+10FFFF
  EXPECT_EQ(PathBytesToUtf16("\xE7\x85"), u"\xDCE7\xDC85");              // cut short
}

TEST(PathBytesTest, EveryByteStringSurvivesTheRoundTrip) {
  std::string all_bytes;
  for (int byte = 1; byte < 256; ++byte) all_bytes.push_back(static_cast<char>(byte));
  const std::string samples[] = {all_bytes, "\xE7\x85\xA7\xE7\x85", "\xC3", "\xC3\xA9\xA9", "\xF0\x9F\x98"};
  for (const std::string& bytes : samples) EXPECT_EQ(Utf16ToPathBytes(PathBytesToUtf16(bytes)), bytes);
}

TEST(PathBytesTest, TextWithoutAByteFormIsRefused) {
  EXPECT_EQ(Utf16ToPathBytes(std::u16string(u"a\0b", 3)), std::nullopt);
  EXPECT_EQ(Utf16ToPathBytes(u"a\xDC41"), std::nullopt);  // escapes of ASCII are never made
  EXPECT_EQ(Utf16ToPathBytes(u"\xD800"), std::nullopt);
  EXPECT_EQ(Utf16ToPathBytes(u""), "");
}

}  // namespace
