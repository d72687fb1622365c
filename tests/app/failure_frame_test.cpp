#include <signal.h>

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "platform/runtime.h"

namespace {

using repng::runtime::RunInFailureFrame;

void DoNothing(void*) {}
void ThrowBadAlloc(void*) { throw std::bad_alloc(); }
void ThrowInt(void*) { throw 42; }
void RaiseSignal(void* context) { raise(*static_cast<int*>(context)); }

void (*HandlerOf(int signal_number))(int) {
  struct sigaction current {};
  sigaction(signal_number, nullptr, &current);
  return current.sa_handler;
}

TEST(FailureFrameTest, ReportsExceptionsOfAnyType) {
  EXPECT_FALSE(RunInFailureFrame(DoNothing, nullptr));
  EXPECT_TRUE(RunInFailureFrame(ThrowBadAlloc, nullptr));
  EXPECT_TRUE(RunInFailureFrame(ThrowInt, nullptr));
}

TEST(FailureFrameTest, ProcessorFaultsReachTheFrameAndHandlersAreRestored) {
  for (int signal_number : {SIGSEGV, SIGBUS, SIGFPE}) {
    const auto handler_before = HandlerOf(signal_number);
    EXPECT_TRUE(RunInFailureFrame(RaiseSignal, &signal_number)) << signal_number;
    EXPECT_EQ(HandlerOf(signal_number), handler_before) << signal_number;
    // The signal is not left blocked, so a second fault is caught as well.
    EXPECT_TRUE(RunInFailureFrame(RaiseSignal, &signal_number)) << signal_number;
  }
}

TEST(FailureFrameTest, AnInnerFrameKeepsItsFailureToItself) {
  struct Outcome {
    bool inner_failed = false;
  } outcome;
  auto outer = [](void* context) {
    int fault = SIGSEGV;
    static_cast<Outcome*>(context)->inner_failed = RunInFailureFrame(RaiseSignal, &fault);
  };
  EXPECT_FALSE(RunInFailureFrame(outer, &outcome));
  EXPECT_TRUE(outcome.inner_failed);
}

}  // namespace
