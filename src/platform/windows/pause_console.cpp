#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "platform/runtime.h"

namespace repng::runtime {

// The command interpreter's own "pause": its prompt in the user's language,
// one key from the console, and at end of input it returns at once. Our
// buffered output has to reach the console before its prompt does.
void PauseConsole() {
  std::cout.flush();
  std::fflush(stdout);
  std::system("pause");
}

}  // namespace repng::runtime
