#include "platform/posix/kernel32/file_names.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/posix/kernel32/files.h"
#include "platform/posix/kernel32/last_error.h"
#include "platform/posix/kernel32/unique_fd.h"
#include "platform/posix/nls/path_bytes.h"

namespace repng::posix {

std::optional<std::string> NameBytesOf(LPCWSTR path) {
  if (path == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return std::nullopt;
  }
  const std::u16string_view text(path);
  if (text.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return std::nullopt;
  }
  std::optional<std::string> name = Utf16ToPathBytes(text);
  if (!name) SetLastError(ERROR_INVALID_NAME);
  return name;
}

std::string ParentFolderOf(const std::string& name) {
  const size_t slash = name.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return name.substr(0, slash);
}

bool IsReadOnly(const struct stat& status) { return (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0; }

DWORD AttributesOf(const struct stat& status) {
  DWORD attributes = 0;
  if (S_ISDIR(status.st_mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
  if (!S_ISDIR(status.st_mode) && IsReadOnly(status)) attributes |= FILE_ATTRIBUTE_READONLY;
  return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

DWORD NotFoundErrorFor(const std::string& name) {
  struct stat folder {};
  if (stat(ParentFolderOf(name).c_str(), &folder) == 0 && S_ISDIR(folder.st_mode)) return ERROR_FILE_NOT_FOUND;
  return ERROR_PATH_NOT_FOUND;
}

bool SyncFolderOf(const std::string& name) {
  UniqueFd folder(open(ParentFolderOf(name).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return folder.IsValid() && fsync(folder.Get()) == 0;
}

DWORD CheckFolderAcceptsNewNames(const std::string& name) {
  struct stat folder {};
  if (stat(ParentFolderOf(name).c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode)) return ERROR_PATH_NOT_FOUND;
  return IsReadOnly(folder) ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}

}  // namespace repng::posix
