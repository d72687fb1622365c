#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <new>
#include <string>

#include "platform/posix/console/text_mode_stdout.h"
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

// Into a pipe too, each line goes out as soon as it ends: the desktop
// launcher shows it while the next file is being worked on.
TEST(TextModeStdoutTest, EachLineLeavesAtItsEndEvenIntoAPipe) {
  int ends[2];
  ASSERT_EQ(pipe2(ends, O_NONBLOCK), 0);
  std::fflush(stdout);
  const int saved = dup(STDOUT_FILENO);
  ASSERT_EQ(dup2(ends[1], STDOUT_FILENO), STDOUT_FILENO);
  const auto pending = [&] {
    char buffer[64];
    const ssize_t got = read(ends[0], buffer, sizeof buffer);
    return got > 0 ? std::string(buffer, size_t(got)) : std::string();
  };
  std::string first, second;
  {
    const repng::posix::TextModeStdout text_mode;
    std::printf("a\xA3\xAC\nb");
    first = pending();
  }
  second = pending();
  dup2(saved, STDOUT_FILENO);
  for (const int fd : {saved, ends[0], ends[1]}) close(fd);
  EXPECT_EQ(first, "a\xA3\xAC\r\n");
  EXPECT_EQ(second, "b");
}

}  // namespace
