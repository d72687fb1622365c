// The open files behind file HANDLEs. A handle is the address of its
// FileObject; only handles that are registered here are accepted, so a
// stale or foreign handle fails with ERROR_INVALID_HANDLE instead of being
// dereferenced.
#pragma once

#include <memory>
#include <string>

#include "platform/posix/kernel32/unique_fd.h"
#include "platform/posix/win32_types.h"

namespace repng::posix {

struct FileObject {
  // Its own open file description, which also carries the share locks.
  UniqueFd fd;
  // The GENERIC_READ, GENERIC_WRITE and DELETE rights granted at the open.
  DWORD access = 0;
  // A new temporary file with no name in its folder yet: the name it was
  // created under, which it takes when it is moved or its handle closes.
  // Empty once the file has a name, or when it was deleted before it had one.
  std::string unnamed_as;
};

HANDLE RegisterFileObject(std::unique_ptr<FileObject> file);

// The live file behind `handle`, or null with ERROR_INVALID_HANDLE set.
FileObject* LookUpFileObject(HANDLE handle);

// The live file that was created unnamed as `name` and has no name yet, or
// null.
FileObject* FindUnnamedFile(const std::string& name);

// Takes the file out of the registry; null with ERROR_INVALID_HANDLE set
// when the handle is not a live file handle.
std::unique_ptr<FileObject> UnregisterFileObject(HANDLE handle);

}  // namespace repng::posix
