#include <gtest/gtest.h>

#include <string>

#include "platform/windows_api.h"

namespace {

struct Conversion {
  int result;
  DWORD error;
  std::string bytes;
};

Conversion Convert(UINT code_page, std::u16string_view text, int capacity) {
  std::string buffer(static_cast<std::size_t>(capacity), '\x7F');
  SetLastError(ERROR_SUCCESS);
  const int result = WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()),
                                         capacity > 0 ? buffer.data() : nullptr, capacity, nullptr, nullptr);
  return {result, GetLastError(), buffer.substr(0, result > 0 ? static_cast<std::size_t>(result) : 0)};
}

TEST(WideCharToMultiByteTest, MeasuresWhenCapacityIsZeroAndFailsWhenTooSmall) {
  const std::u16string_view text = u"\u7167\u7247.bmp";  // 8 GBK bytes
  EXPECT_EQ(Convert(CP_ACP, text, 0).result, 8);

  const Conversion exact = Convert(CP_ACP, text, 8);
  EXPECT_EQ(exact.result, 8);
  EXPECT_EQ(exact.bytes, "\xD5\xD5\xC6\xAC.bmp");

  const Conversion short_by_one = Convert(CP_ACP, text, 7);
  EXPECT_EQ(short_by_one.result, 0);
  EXPECT_EQ(short_by_one.error, static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(WideCharToMultiByteTest, MinusOneConvertsThroughTheTerminator) {
  char buffer[8] = {'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'};
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"ab", -1, buffer, sizeof buffer, nullptr, nullptr), 3);
  EXPECT_EQ(std::string(buffer, 4), std::string("ab\0x", 4));
}

TEST(WideCharToMultiByteTest, UnmappableCharactersUseTheDefaultCharacter) {
  const std::u16string_view text = u"\uAC00\u20AC\U0001F600";  // Hangul is not in GBK; € is (0x80)
  BOOL used_default = FALSE;
  char buffer[16] = {};
  const int result = WideCharToMultiByte(936, 0, text.data(), static_cast<int>(text.size()), buffer,
                                         sizeof buffer, nullptr, &used_default);
  EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(result)), "?\x80?");
  EXPECT_EQ(used_default, TRUE);

  const int with_own_default = WideCharToMultiByte(CP_ACP, 0, u"\U0001F600", 2, buffer, sizeof buffer, "*", nullptr);
  EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(with_own_default)), "*");
}

TEST(WideCharToMultiByteTest, LoneSurrogates) {
  EXPECT_EQ(Convert(CP_ACP, u"a\xDC80\xD800z", 16).bytes, "a??z");
  EXPECT_EQ(Convert(CP_UTF8, u"a\xDCFF", 16).bytes, "a\xEF\xBF\xBD");

  char buffer[8];
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, u"\xDCFF", 1, buffer, 8, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}

TEST(WideCharToMultiByteTest, RejectsBadArguments) {
  char buffer[8];
  EXPECT_EQ(WideCharToMultiByte(1252, 0, u"a", 1, buffer, 8, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"a", 0, buffer, 8, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"a", 1, nullptr, 8, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0x1, u"a", 1, buffer, 8, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
}

}  // namespace
