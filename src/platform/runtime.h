// Services of the C runtime and the console that differ between systems but
// have no common SDK name: the failure frame, the pause and the wide entry.
#pragma once

#include "platform/windows_api.h"

// The program's own entry point, called with UTF-16 arguments (argument 0 is
// the program's path). On Windows the runtime calls it directly; elsewhere
// the platform's main() converts the arguments losslessly and calls it.
int wmain(int argc, WCHAR* argv[]);

namespace repng::runtime {

// Runs body(context) and reports whether a failure escaped it: a C++
// exception of any type, or (where the system allows it) a processor fault
// such as an access violation. Nothing is re-raised.
bool RunInFailureFrame(void (*body)(void* context), void* context);

// Waits for the user before the program exits, after all its output: the
// console's "press any key" prompt, then one key. Never hangs when standard
// input is not a terminal: it reads one byte, or returns at end of input.
void PauseConsole();

}  // namespace repng::runtime
