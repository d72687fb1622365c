// What tests may ask of the Win32 file stand-in: faults to inject at each
// step of an overwrite, and whether new temporary files may be unnamed.
// Nothing here is active unless a test sets it.
#pragma once

namespace repng::posix::testing {

enum class FileFault {
  kOpenForWriting,   // CreateFileW with GENERIC_WRITE fails (sharing violation)
  kCreateNew,        // CreateFileW with CREATE_NEW fails (disk full)
  kWrite,            // WriteFile moves half the bytes, then fails (disk full)
  kShortWrite,       // WriteFile moves half the bytes and reports success
  kFlush,            // FlushFileBuffers fails
  kReplace,          // ReplaceFileW fails before it changes anything
  kLinkIntoFolder,   // an unnamed file cannot be given a name in its folder
  kRenameIntoPlace,  // the final rename of ReplaceFileW or MoveFileExW fails
  kMove,             // MoveFileExW fails before it changes anything
};

// Every call that reaches the step fails until ClearFileFaults.
void InjectFileFault(FileFault fault);
void ClearFileFaults();

// While false, new temporary files are named from the start, as on file
// systems without O_TMPFILE.
void SetUnnamedFilesAllowed(bool allowed);

// For the layer itself.
bool IsFileFaultInjected(FileFault fault);
bool AreUnnamedFilesAllowed();

}  // namespace repng::posix::testing
