// The POSIX start-up of the program: what the Windows runtime's wide entry
// does before it calls wmain.
#include <vector>

#include "platform/posix/console/text_mode_stdout.h"
#include "platform/posix/nls/path_bytes.h"
#include "platform/runtime.h"

int main(int argc, char* argv[]) {
  std::vector<std::u16string> arguments;
  arguments.reserve(static_cast<std::size_t>(argc));
  for (int i = 0; i < argc; ++i) arguments.push_back(repng::posix::PathBytesToUtf16(argv[i]));
  // The wide vector ends with a null pointer, as the runtime's does.
  std::vector<WCHAR*> wide_argv;
  wide_argv.reserve(arguments.size() + 1);
  for (std::u16string& argument : arguments) wide_argv.push_back(argument.data());
  wide_argv.push_back(nullptr);

  repng::posix::TextModeStdout text_mode;
  return wmain(argc, wide_argv.data());
}
