// Runs a program as a user would, with no standard input at all or with it
// at end of input, and collects its standard output and exit status.
#pragma once

#include <string>
#include <vector>

namespace repng::testing {

enum class StandardInput { kAtEndOfInput, kClosed };

struct ProgramRun {
  int exit_status = -1;  // -1 when the program did not exit normally
  std::string output;
};

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                      StandardInput input = StandardInput::kAtEndOfInput, bool detect_leaks = true);

}  // namespace repng::testing
