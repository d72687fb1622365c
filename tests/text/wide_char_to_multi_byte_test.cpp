#include <gtest/gtest.h>

#include <string>

#include "platform/windows_api.h"

namespace {

TEST(WideCharToMultiByteTest, MeasuresWithoutBufferAndRefusesATooSmallOne) {
  const std::u16string_view text = u"\u7167\u7247.bmp";  // 照片.bmp: 8 GBK bytes
  const int units = static_cast<int>(text.size());
  char buffer[8];
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text.data(), units, nullptr, 0, nullptr, nullptr), 8);
  ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, text.data(), units, buffer, 8, nullptr, nullptr), 8);
  EXPECT_EQ(std::string(buffer, 8), "\xD5\xD5\xC6\xAC.bmp");

  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text.data(), units, buffer, 7, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(WideCharToMultiByteTest, WhatGbkCannotHoldBecomesTheDefaultCharacter) {
  // Hangul, the euro sign (0x80 in code page 936), an emoji, a lone surrogate
  const std::u16string_view text = u"\uAC00\u20AC\U0001F600\xDC80";
  BOOL used_default = FALSE;
  char buffer[16];
  const int count = WideCharToMultiByte(936, 0, text.data(), static_cast<int>(text.size()), buffer, sizeof buffer,
                                        nullptr, &used_default);
  EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(count)), "?\x80??");
  EXPECT_TRUE(used_default);

  const int utf8_count = WideCharToMultiByte(CP_UTF8, 0, u"\u7167\xDC80", -1, buffer, sizeof buffer, nullptr, nullptr);
  EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(utf8_count)), std::string("\xE7\x85\xA7\xEF\xBF\xBD\0", 7));
}

}  // namespace
