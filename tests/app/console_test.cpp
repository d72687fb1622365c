#include <signal.h>

#include <gtest/gtest.h>

#include <new>

#include "platform/runtime.h"

namespace {

using repng::runtime::RunInFailureFrame;

TEST(FailureFrameTest, CatchesExceptionsOfAnyTypeAndProcessorFaults) {
  EXPECT_FALSE(RunInFailureFrame([](void*) {}, nullptr));
  EXPECT_TRUE(RunInFailureFrame([](void*) { throw std::bad_alloc(); }, nullptr));
  EXPECT_TRUE(RunInFailureFrame([](void*) { throw 42; }, nullptr));
  for (int signal_number : {SIGSEGV, SIGBUS, SIGFPE}) {
    SCOPED_TRACE(signal_number);
    struct sigaction before {}, after {};
    sigaction(signal_number, nullptr, &before);
    // Caught twice: the jump out of the handler did not leave it blocked.
    for (int round = 0; round < 2; ++round)
      EXPECT_TRUE(RunInFailureFrame([](void* number) { raise(*static_cast<int*>(number)); }, &signal_number));
    sigaction(signal_number, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
  }
}

}  // namespace
