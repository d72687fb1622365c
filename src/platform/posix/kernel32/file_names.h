// Between the program's UTF-16 paths and the file system's byte names, and
// the Win32 view of a file's metadata.
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>

#include "platform/posix/win32_types.h"

namespace repng::posix {

// The byte name of a path, or nothing with the last error set: an absent
// or empty path, or one with a lone surrogate that stands for no byte.
std::optional<std::string> NameBytesOf(LPCWSTR path);

// The folder that holds `name`: "." for a bare name, "/" for a root entry.
std::string ParentFolderOf(const std::string& name);

// Windows has a read-only flag where POSIX has permission bits: a file with
// no write bit at all is read-only, for every user.
bool IsReadOnly(const struct stat& status);

DWORD AttributesOf(const struct stat& status);

// ERROR_FILE_NOT_FOUND when the folder of a missing name exists, else
// ERROR_PATH_NOT_FOUND, as Windows tells the two apart.
DWORD NotFoundErrorFor(const std::string& name);

// Makes a change of names in the folder that holds `name` durable.
bool SyncFolderOf(const std::string& name);

// Creating a name needs a writable folder; a folder without write bits
// refuses, root included. ERROR_SUCCESS or the error to report.
DWORD CheckFolderAcceptsNewNames(const std::string& name);

}  // namespace repng::posix
