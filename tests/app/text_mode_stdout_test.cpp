#include "platform/posix/console/text_mode_stdout.h"

#include <gtest/gtest.h>

#include <iostream>

#include "stdout_capture.h"

namespace {

TEST(TextModeStdoutTest, LineFeedsBecomeCrlfInProgramOrder) {
  repng::testing::StdoutCapture capture;
  {
    repng::posix::TextModeStdout text_mode;
    ASSERT_TRUE(text_mode.IsActive());
    std::printf("a\n");
    std::cout << "b\n\n";
    std::printf("%s", "c\r\n");
    std::cout << 'd';
    std::printf("e");
  }
  // Plain output again once the text mode has ended.
  std::printf("f\n");
  EXPECT_EQ(capture.Finish(), "a\r\nb\r\n\r\nc\r\r\nde" "f\n");
}

TEST(TextModeStdoutTest, LongOutputComesOutWhole) {
  std::string expected;
  repng::testing::StdoutCapture capture;
  {
    repng::posix::TextModeStdout text_mode;
    for (int i = 0; i < 3000; ++i) {
      std::printf("line %d\n", i);
      expected += "line " + std::to_string(i) + "\r\n";
    }
  }
  EXPECT_EQ(capture.Finish(), expected);
}

}  // namespace
