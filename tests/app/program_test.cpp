// The built programs end to end: the real one in usage mode, and the same
// entry and driver over the fake imaging for batches.
#include <gtest/gtest.h>

#include "child_process.h"
#include "fake_imaging.h"
#include "scratch_folder.h"

namespace {

using repng::testing::FakePicture;
using repng::testing::ReadFileBytes;
using repng::testing::RunProgram;
using repng::testing::StandardInput;
using repng::testing::WriteFileBytes;

const std::string kPurpose =
    "\xD3\xC3\xCD\xBE: \r\n\t\xCE\xDE\xCB\xF0\xD1\xB9\xCB\xF5PNG\xA3\xAC\xBC\xF5\xD0\xA1PNG\xCE\xC4\xBC\xFE\xB5\xC4\xB4"
    "\xF3\xD0\xA1.\r\n";
const std::string kUsage =
    "\xD3\xC3\xB7\xA8: \r\n\t\xD1\xA1\xD6\xD0\xD2\xAA\xD1\xB9\xCB\xF5\xB5\xC4\xCE\xC4\xBC\xFE,\xD3\xC3\xCA\xF3\xB1\xEA"
    "\xCD\xCF\xB5\xBD" "EXE\xC9\xCF\xB7\xC5\xBF\xAA.\r\n\r\n";
const std::string kCrash =
    "\xB3\xCC\xD0\xF2\xB1\xC0\xC0\xA3\xC4\xF1~~~~ \xC7\xEB\xC1\xAA\xCF\xB5Veldrin\xBD\xE2\xBE\xF6!\r\n";
const std::string kPause = "\xC7\xEB\xB0\xB4\xC8\xCE\xD2\xE2\xBC\xFC\xBC\xCC\xD0\xF8. . .\r\n";
const std::string kOldSize = "\xA3\xAC\xD4\xAD\xB4\xF3\xD0\xA1\xA3\xBA";
const std::string kNewSize = "\xA3\xAC\xD0\xC2\xB4\xF3\xD0\xA1\xA3\xBA";
const std::string kBytes = "\xD7\xD6\xBD\xDA";
const std::string kEnd = "\xA1\xA3\r\n";

std::string ReplacedLine(const std::string& name, const std::string& old_size, const std::string& new_size) {
  return name + kOldSize + old_size + kNewSize + new_size + kEnd;
}

TEST(ProgramTest, WithoutPathsItExplainsItselfPausesAndExitsWithMinusOne) {
  for (StandardInput input : {StandardInput::kAtEndOfInput, StandardInput::kClosed}) {
    const auto run = RunProgram(REPNG_PROGRAM, {}, input);
    EXPECT_EQ(run.output, kPurpose + kUsage + kPause);
    EXPECT_EQ(run.exit_status, 255);
  }
}

class BatchProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"1.bmp", "2.bmp", "4.bmp", "5.bmp"}) WriteFileBytes(name, picture_);
  }

  const std::string picture_ = FakePicture(10, 2048);
  repng::testing::ScratchFolder folder_;
};

TEST_F(BatchProgramTest, AFailureInTheThirdFileEndsTheBatchWithTheCrashMessage) {
  WriteFileBytes("3.bmp", "THROW-ENCODE");

  const auto run = RunProgram(REPNG_FAKE_IMAGING_PROGRAM, {"5.bmp", "3.bmp", "1.bmp", "4.bmp", "2.bmp"});

  EXPECT_EQ(run.output, ReplacedLine("1.bmp", "2.00K", "10" + kBytes) + ReplacedLine("2.bmp", "2.00K", "10" + kBytes) +
                            "3.bmp" + kOldSize + "12" + kBytes + kCrash + kPause);
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(ReadFileBytes("4.bmp"), picture_);
  EXPECT_EQ(ReadFileBytes("5.bmp"), picture_);
}

TEST_F(BatchProgramTest, AProcessorFaultEndsTheBatchLikeAnException) {
  WriteFileBytes("3.bmp", "FAULT-ENCODE");

  const auto run = RunProgram(REPNG_FAKE_IMAGING_PROGRAM, {"1.bmp", "2.bmp", "3.bmp", "4.bmp", "5.bmp"},
                              StandardInput::kClosed, /*detect_leaks=*/false);

  EXPECT_EQ(run.output, ReplacedLine("1.bmp", "2.00K", "10" + kBytes) + ReplacedLine("2.bmp", "2.00K", "10" + kBytes) +
                            "3.bmp" + kOldSize + "12" + kBytes + kCrash + kPause);
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(ReadFileBytes("4.bmp"), picture_);
}

TEST_F(BatchProgramTest, ANameThatIsNotUtf8ReachesItsFile) {
  const std::string name = "raw\xFF\xFE.bmp";
  WriteFileBytes(name, picture_);

  const auto run = RunProgram(REPNG_FAKE_IMAGING_PROGRAM, {name});

  // The bytes stand for no character, so the report shows "?" for each.
  EXPECT_EQ(run.output, ReplacedLine("raw??.bmp", "2.00K", "10" + kBytes) + kPause);
  EXPECT_EQ(ReadFileBytes(name).size(), 10u);
}

}  // namespace
