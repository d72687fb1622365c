#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <iostream>

#include "platform/posix/console/wait_for_key.h"
#include "platform/runtime.h"

namespace repng::runtime {
namespace {

// The Chinese console's own prompt: 请按任意键继续. . . (code page 936)
constexpr char kPausePrompt[] = "\xC7\xEB\xB0\xB4\xC8\xCE\xD2\xE2\xBC\xFC\xBC\xCC\xD0\xF8. . .";

// One byte of standard input; false at end of input, on an error, or when
// there is no standard input at all.
bool ReadOneByte() {
  char byte = 0;
  for (;;) {
    const ssize_t result = read(STDIN_FILENO, &byte, 1);
    if (result < 0 && errno == EINTR) continue;
    return result == 1;
  }
}

}  // namespace

void WaitForOneKey() {
  termios saved{};
  if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &saved) != 0) {
    ReadOneByte();
    return;
  }
  termios raw = saved;
  // Ctrl+C is a key like any other here, so the terminal's mode is always
  // restored.
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) {
    ReadOneByte();
    return;
  }
  ReadOneByte();
  // The rest of a multi-byte key (arrows, function keys) must not reach the
  // shell after us.
  tcflush(STDIN_FILENO, TCIFLUSH);
  tcsetattr(STDIN_FILENO, TCSANOW, &saved);
}

void PauseConsole() {
  std::cout.flush();
  std::fputs(kPausePrompt, stdout);
  std::fflush(stdout);
  WaitForOneKey();
  std::fputs("\n", stdout);
  std::fflush(stdout);
}

}  // namespace repng::runtime
