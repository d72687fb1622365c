#include <gtest/gtest.h>

#include <string>

#include "platform/posix/nls/path_bytes.h"
#include "platform/windows_api.h"

namespace {

using repng::posix::PathBytesToUtf16;
using repng::posix::Utf16ToPathBytes;

TEST(WideCharToMultiByte, MeasuresRefusesATooSmallBufferAndFallsBackToTheDefault) {
  const std::u16string_view name = u"\u7167\u7247.bmp";  // 照片.bmp: 8 GBK bytes
  char buffer[16];
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, name.data(), 6, nullptr, 0, nullptr, nullptr), 8);
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, name.data(), 6, buffer, 7, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));

  // Hangul, the euro sign (0x80 in code page 936), an emoji, a lone surrogate.
  const std::u16string_view text = u"\uAC00\u20AC\U0001F600\xDC80";
  BOOL used_default = FALSE;
  const int count = WideCharToMultiByte(936, 0, text.data(), int(text.size()), buffer, 16, nullptr, &used_default);
  EXPECT_EQ(std::string(buffer, size_t(count)), "?\x80??");
  EXPECT_TRUE(used_default);
}

TEST(PathBytes, ValidUtf8DecodesAndEveryOtherByteIsEscaped) {
  EXPECT_EQ(PathBytesToUtf16("/tmp/\xE7\x85\xA7\xF0\x9F\x98\x80"), u"/tmp/\u7167\U0001F600");
  EXPECT_EQ(PathBytesToUtf16("\xC0\xAF"), u"\xDCC0\xDCAF");            // overlong "/"
  EXPECT_EQ(PathBytesToUtf16("\xED\xA0\x80"), u"\xDCED\xDCA0\xDC80");  // an encoded surrogate
  EXPECT_EQ(PathBytesToUtf16("\xE7\x85"), u"\xDCE7\xDC85");            // cut short
  std::string all_bytes;
  for (int byte = 1; byte < 256; ++byte) all_bytes.push_back(char(byte));
  for (const std::string& bytes : {all_bytes, std::string("\xE7\x85\xA7\xE7\x85"), std::string("\xF4\x90\x80\x80")})
    EXPECT_EQ(Utf16ToPathBytes(PathBytesToUtf16(bytes)), bytes);
  // Text without a byte form is refused.
  EXPECT_EQ(Utf16ToPathBytes(std::u16string(u"a\0b", 3)), std::nullopt);  // would cut the name short
  EXPECT_EQ(Utf16ToPathBytes(u"a\xDC41"), std::nullopt);                  // no byte below 0x80 is escaped
  EXPECT_EQ(Utf16ToPathBytes(u"\xD800"), std::nullopt);
}

}  // namespace
