// What tests may ask of the Win32 file stand-in: faults to inject at each
// step of an overwrite, and whether new temporary files may be unnamed. Only
// the tests' build of the stand-in (REPNG_TEST_HOOKS) has them; in the
// program's, the stand-in's questions below have constant answers and the
// branches that ask them vanish.
#pragma once

#include <limits>

namespace repng::posix::testing {

enum class FileFault {
  kOpenForWriting,           // CreateFileW with GENERIC_WRITE fails (sharing violation)
  kCreateNew,                // CreateFileW with CREATE_NEW fails (disk full)
  kWrite,                    // WriteFile moves half the bytes, then fails (disk full)
  kShortWrite,               // WriteFile moves half the bytes and reports success
  kFlush,                    // FlushFileBuffers fails
  kReplace,                  // ReplaceFileW fails before it changes anything
  kLinkIntoFolder,           // an unnamed file cannot be given a name in its folder
  kRenameIntoPlace,          // the final rename of ReplaceFileW or MoveFileExW fails
  kMove,                     // MoveFileExW fails before it changes anything
  kReplaceAfterRemovingOld,  // ReplaceFileW takes the old file from its name, then fails
};

inline constexpr unsigned kEveryCall = std::numeric_limits<unsigned>::max();

// Calls that reach the step fail until ClearFileFaults, once the first
// `passing` of them have succeeded; a count of `failing` lets the calls
// after that many failures succeed again. Injecting a fault again restarts
// its count.
void InjectFileFault(FileFault fault, unsigned passing = 0, unsigned failing = kEveryCall);
void ClearFileFaults();

// While false, new temporary files are named from the start, as on file
// systems without O_TMPFILE.
void SetUnnamedFilesAllowed(bool allowed);

// For the stand-in itself: whether this call, which has reached the step,
// fails. Each call counts, so ask once per call.
#ifdef REPNG_TEST_HOOKS
bool FailsThisCall(FileFault fault);
bool AreUnnamedFilesAllowed();
#else
constexpr bool FailsThisCall(FileFault) { return false; }
constexpr bool AreUnnamedFilesAllowed() { return true; }
#endif

}  // namespace repng::posix::testing
