// The one way this layer opens a file by name, shared by CreateFileW and
// the calls that delete or rename files under share-mode rules.
#pragma once

#include <memory>
#include <string>

#include "platform/posix/kernel32/file_objects.h"
#include "platform/posix/kernel32/files.h"

namespace repng::posix {

struct OpenRequest {
  DWORD access = 0;  // GENERIC_READ, GENERIC_WRITE, DELETE
  DWORD share_mode = 0;
  DWORD disposition = OPEN_EXISTING;
  bool create_read_only = false;  // a created file gets no write bits
  // A created file is for its owner only (0600), and CREATE_NEW makes it
  // unnamed where the file system allows it (see FileObject::unnamed_as).
  bool temporary = false;
};

// The open file, or null with the last error set. On success the last error
// is ERROR_ALREADY_EXISTS when CREATE_ALWAYS or OPEN_ALWAYS found the file,
// else ERROR_SUCCESS. An existing file is truncated only after the share
// mode has admitted the open.
std::unique_ptr<FileObject> OpenFileObject(const std::string& name, const OpenRequest& request);

}  // namespace repng::posix
