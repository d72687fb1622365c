// The POSIX start-up of the program: what the Windows runtime's wide entry
// does before it calls wmain.
#include <vector>

#if defined(__GLIBC__)  // set by the C library's headers, which <vector> includes
#include <malloc.h>
#endif

#include "platform/posix/console/text_mode_stdout.h"
#include "platform/posix/nls/path_bytes.h"
#include "platform/runtime.h"

namespace {

// The Windows heap gives a large block back to the system when it is freed.
// glibc raises its mmap threshold to the largest block freed so far, so
// after the first large picture the next ones' buffers come from its arenas
// and stay there: a batch of wallpapers peaked some 90 MiB above its
// largest picture's own. A fixed threshold maps each picture-sized block on
// its own. Below it, the encoder's working buffers of a few MiB each, made
// afresh for every stretch it compresses, come from the arenas, which keep
// a few MiB free for the next: mapped anew each time, every 4 KiB of them
// cost a page fault, a fifth of the time of the benchmark's icons.
constexpr int kOwnMappingThreshold = 4 * 1024 * 1024;
constexpr int kKeptFreeInArena = 8 * 1024 * 1024;

void ReturnLargeBlocksToTheSystem() {
#if defined(__GLIBC__)
  mallopt(M_MMAP_THRESHOLD, kOwnMappingThreshold);
  mallopt(M_TRIM_THRESHOLD, kKeptFreeInArena);
#endif
}

}  // namespace

int main(int argc, char* argv[]) {
  ReturnLargeBlocksToTheSystem();
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
