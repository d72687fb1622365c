#include "text/display_name.h"

#include <gtest/gtest.h>

namespace {

TEST(DisplayNameOfTest, OnlyTheLastBackslashSeparates) {
  EXPECT_EQ(DisplayNameOf(TEXT("C:\\pics\\a.png")), TEXT("a.png"));
  EXPECT_EQ(DisplayNameOf(TEXT("a.png")), TEXT("a.png"));
  EXPECT_EQ(DisplayNameOf(TEXT("C:/pics/a.png")), TEXT("C:/pics/a.png"));
  EXPECT_EQ(DisplayNameOf(TEXT("/home/u/pics\\x/a.png")), TEXT("x/a.png"));
}

TEST(DisplayNameOfTest, EmptyWhenThePathEndsWithABackslash) {
  EXPECT_EQ(DisplayNameOf(TEXT("D:\\")), TEXT(""));
  EXPECT_EQ(DisplayNameOf(TEXT("\\")), TEXT(""));
  EXPECT_EQ(DisplayNameOf(TEXT("")), TEXT(""));
}

}  // namespace
