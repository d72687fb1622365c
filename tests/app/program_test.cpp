// The programs end to end, with standard input at end of input or closed:
// the real one in usage mode, and the same entry and driver over the fake
// imaging for batches.
#include <gtest/gtest.h>

#include "fake_imaging.h"
#include "test_support.h"

namespace {

using repng::testing::ReadFileBytes;
using repng::testing::RunProgram;

// 用途: \n\t无损压缩PNG，减小PNG文件的大小.\n 用法: \n\t选中要压缩的文件,用鼠标拖到EXE上放开.\n\n
const std::string kPurposeAndUsage =
    "\xD3\xC3\xCD\xBE: \r\n\t\xCE\xDE\xCB\xF0\xD1\xB9\xCB\xF5PNG\xA3\xAC\xBC\xF5\xD0\xA1PNG\xCE\xC4\xBC\xFE\xB5\xC4\xB4"
    "\xF3\xD0\xA1.\r\n\xD3\xC3\xB7\xA8: \r\n\t\xD1\xA1\xD6\xD0\xD2\xAA\xD1\xB9\xCB\xF5\xB5\xC4\xCE\xC4\xBC\xFE,\xD3\xC3"
    "\xCA\xF3\xB1\xEA\xCD\xCF\xB5\xBD" "EXE\xC9\xCF\xB7\xC5\xBF\xAA.\r\n\r\n";
// 程序崩溃鸟~~~~ 请联系Veldrin解决!\n
const std::string kCrash =
    "\xB3\xCC\xD0\xF2\xB1\xC0\xC0\xA3\xC4\xF1~~~~ \xC7\xEB\xC1\xAA\xCF\xB5Veldrin\xBD\xE2\xBE\xF6!\r\n";
// 请按任意键继续. . .
const std::string kPause = "\xC7\xEB\xB0\xB4\xC8\xCE\xD2\xE2\xBC\xFC\xBC\xCC\xD0\xF8. . .\r\n";
const std::string kOldSize = "\xA3\xAC\xD4\xAD\xB4\xF3\xD0\xA1\xA3\xBA";

std::string Replaced(const std::string& name) {
  return name + kOldSize + "2.00K\xA3\xAC\xD0\xC2\xB4\xF3\xD0\xA1\xA3\xBA" "10\xD7\xD6\xBD\xDA\xA1\xA3\r\n";
}

TEST(ProgramTest, WithoutPathsItExplainsItselfPausesAndExitsWithMinusOne) {
  for (const char* input : {"</dev/null", "<&-"}) {
    const auto run = RunProgram(REPNG_PROGRAM, {}, input);
    EXPECT_EQ(run.output, kPurposeAndUsage + kPause) << input;
    EXPECT_EQ(run.exit_status, 255) << input;
  }
}

TEST(ProgramTest, AFailureInTheThirdOfFiveFilesEndsTheBatchWithTheCrashMessage) {
  repng::testing::ScratchFolder folder;
  const std::string picture = repng::testing::FakePicture(10, 2048);
  for (const char* name : {"1.bmp", "2.bmp", "4.bmp", "5.bmp"}) repng::testing::WriteFileBytes(name, picture);
  repng::testing::WriteFileBytes("3.bmp", "THROW-ENCODE");

  const auto run = RunProgram(REPNG_FAKE_IMAGING_PROGRAM, {"5.bmp", "3.bmp", "1.bmp", "4.bmp", "2.bmp"}, "<&-");

  EXPECT_EQ(run.output, Replaced("1.bmp") + Replaced("2.bmp") + "3.bmp" + kOldSize + "12\xD7\xD6\xBD\xDA" + kCrash + kPause);
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(ReadFileBytes("4.bmp"), picture);
  EXPECT_EQ(ReadFileBytes("5.bmp"), picture);
}

TEST(ProgramTest, ANameThatIsNotUtf8ReachesItsFile) {
  repng::testing::ScratchFolder folder;
  const std::string name = "raw\xFF\xFE.bmp";
  repng::testing::WriteFileBytes(name, repng::testing::FakePicture(10, 2048));

  const auto run = RunProgram(REPNG_FAKE_IMAGING_PROGRAM, {name}, "</dev/null");

  // Its bytes stand for no character, so the report shows "?" for each.
  EXPECT_EQ(run.output, Replaced("raw??.bmp") + kPause);
  EXPECT_EQ(ReadFileBytes(name).size(), 10u);
}

}  // namespace
