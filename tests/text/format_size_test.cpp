#include "text/format_size.h"

#include <gtest/gtest.h>

#include "text/format_text.h"

namespace {

TEST(FormatSizeTest, BytesBelowOneKilobyteThenKilobytesWithTiesRoundingUp) {
  const std::string bytes = "\xD7\xD6\xBD\xDA";  // 字节
  EXPECT_EQ(FormatSize(0), "0" + bytes);
  EXPECT_EQ(FormatSize(1023), "1023" + bytes);
  EXPECT_EQ(FormatSize(1024), "1.00K");
  EXPECT_EQ(FormatSize(1029), "1.00K");  // 1.0048828125
  EXPECT_EQ(FormatSize(1030), "1.01K");  // 1.005859375
  EXPECT_EQ(FormatSize(1152), "1.13K");  // 1.125, a tie
  EXPECT_EQ(FormatSize(1408), "1.38K");  // 1.375, a tie
  EXPECT_EQ(FormatSize(1048575), "1024.00K");  // the carry reaches the whole part
  EXPECT_EQ(FormatSize(104857599), "102400.00K");
  EXPECT_EQ(FormatSize(2147483648u), "2097152.00K");
  EXPECT_EQ(FormatSize(4294967295u), "4194304.00K");
}

TEST(FormatTextTest, TextsBeyondTheLocalBufferComeOutWhole) {
  for (std::size_t length : {1021u, 1022u, 5000u}) {
    const std::string text(length, 'x');
    EXPECT_EQ(FormatText("<%s>", text.c_str()), "<" + text + ">");
  }
}

}  // namespace
