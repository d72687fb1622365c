#include "text/format_size.h"

#include <gtest/gtest.h>

#include "text/format_text.h"

namespace {

const char kBytesSuffix[] = "\xD7\xD6\xBD\xDA";  // 字节

TEST(FormatSizeTest, CountsBelowOneKilobyteAreBytes) {
  EXPECT_EQ(FormatSize(0), std::string("0") + kBytesSuffix);
  EXPECT_EQ(FormatSize(1023), std::string("1023") + kBytesSuffix);
}

TEST(FormatSizeTest, KilobytesHaveTwoDecimalsAndTiesRoundUp) {
  EXPECT_EQ(FormatSize(1024), "1.00K");
  EXPECT_EQ(FormatSize(1029), "1.00K");  // 1.0048828125
  EXPECT_EQ(FormatSize(1030), "1.01K");  // 1.005859375
  EXPECT_EQ(FormatSize(1152), "1.13K");  // 1.125, a tie
  EXPECT_EQ(FormatSize(1408), "1.38K");  // 1.375, a tie
  EXPECT_EQ(FormatSize(1044480), "1020.00K");
  EXPECT_EQ(FormatSize(1048575), "1024.00K");  // 1023.999..., carries into the whole part
  EXPECT_EQ(FormatSize(3000054), "2929.74K");
  EXPECT_EQ(FormatSize(1234567), "1205.63K");
}

TEST(FormatSizeTest, LargeCountsAreUnsigned) {
  EXPECT_EQ(FormatSize(104857599), "102400.00K");
  EXPECT_EQ(FormatSize(2147483648u), "2097152.00K");
  EXPECT_EQ(FormatSize(4294967295u), "4194304.00K");
}

TEST(FormatTextTest, TextsBeyondTheLocalBufferComeOutWhole) {
  for (std::size_t length : {1023u, 1024u, 5000u}) {
    const std::string long_text(length, 'x');
    EXPECT_EQ(FormatText("<%s>", long_text.c_str()), "<" + long_text + ">");
  }
}

}  // namespace
