#include <signal.h>

#include <gtest/gtest.h>

#include "platform/posix/console/text_mode_stdout.h"
#include "platform/runtime.h"
#include "test_support.h"

namespace {

using repng::runtime::RunInFailureFrame;

void ThrowBadAlloc(void*) { throw std::bad_alloc(); }
void ThrowInt(void*) { throw 42; }
void RaiseSignal(void* signal_number) { raise(*static_cast<int*>(signal_number)); }

TEST(FailureFrameTest, CatchesExceptionsOfAnyType) {
  EXPECT_FALSE(RunInFailureFrame([](void*) {}, nullptr));
  EXPECT_TRUE(RunInFailureFrame(ThrowBadAlloc, nullptr));
  EXPECT_TRUE(RunInFailureFrame(ThrowInt, nullptr));
}

TEST(FailureFrameTest, CatchesProcessorFaultsAndRestoresTheHandlers) {
  for (int signal_number : {SIGSEGV, SIGBUS, SIGFPE}) {
    struct sigaction before {}, after {};
    sigaction(signal_number, nullptr, &before);
    EXPECT_TRUE(RunInFailureFrame(RaiseSignal, &signal_number)) << signal_number;
    // Caught again: the jump out of the handler did not leave it blocked.
    EXPECT_TRUE(RunInFailureFrame(RaiseSignal, &signal_number)) << signal_number;
    sigaction(signal_number, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler) << signal_number;
  }
}

TEST(TextModeStdoutTest, LineFeedsBecomeCrlfInProgramOrderForPrintfAndCout) {
  std::string expected_lines;
  repng::testing::StdoutCapture capture;
  {
    repng::posix::TextModeStdout text_mode;
    std::printf("a\n");
    std::cout << "b\n\n";
    std::printf("c\r\n");
    std::cout << 'd';
    // Beyond one buffer of the converting stream.
    for (int i = 0; i < 2000; ++i) {
      std::printf("line %d\n", i);
      expected_lines += "line " + std::to_string(i) + "\r\n";
    }
  }
  std::printf("plain again\n");
  EXPECT_EQ(capture.Finish(), "a\r\nb\r\n\r\nc\r\r\nd" + expected_lines + "plain again\n");
}

}  // namespace
