// Programs under test started as child processes: standard input closed to
// them (the pause then returns at once), standard output into a file.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace repng::safety {

struct ChildSpec {
  std::string program;
  std::vector<std::string> arguments;
  std::string working_folder;
  std::string stdout_path;                  // "/dev/null" when empty
  std::string stderr_path;                  // "/dev/null" when empty
  std::vector<std::string> extra_environment;  // "NAME=value"
};

// The started child's process id; throws when it cannot be started.
pid_t StartChild(const ChildSpec& spec);

// The child's exit status, or 128 + signal when a signal ended it; its peak
// resident memory in KiB goes to *peak_kib when asked for.
int WaitForChild(pid_t child, long* peak_kib = nullptr);

}  // namespace repng::safety
