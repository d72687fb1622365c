// Opening and closing file handles, and what a handle tells about its file.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "platform/posix/kernel32/errno_mapping.h"
#include "platform/posix/kernel32/file_names.h"
#include "platform/posix/kernel32/last_error.h"
#include "platform/posix/kernel32/no_throw.h"
#include "platform/posix/kernel32/open_file.h"
#include "platform/posix/kernel32/unnamed_files.h"
#include "platform/posix/nls/path_bytes.h"

using namespace repng::posix;

namespace {

// 100-nanosecond intervals between 1601-01-01 and 1970-01-01.
constexpr ULONGLONG kUnixEpochInFileTime = 116444736000000000ULL;

FILETIME FileTimeOf(const struct timespec& time) {
  const LONGLONG intervals = static_cast<LONGLONG>(time.tv_sec) * 10000000LL + time.tv_nsec / 100;
  const ULONGLONG stamp = kUnixEpochInFileTime + static_cast<ULONGLONG>(std::max<LONGLONG>(intervals, 0));
  return {static_cast<DWORD>(stamp), static_cast<DWORD>(stamp >> 32)};
}

}  // namespace

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE /*hTemplateFile*/) {
  return WithoutExceptions<HANDLE>(INVALID_HANDLE_VALUE, [&]() -> HANDLE {
    const std::optional<std::string> name = NameBytesOf(lpFileName);
    if (!name) return INVALID_HANDLE_VALUE;
    OpenRequest request;
    request.access = dwDesiredAccess;
    request.share_mode = dwShareMode;
    request.disposition = dwCreationDisposition;
    request.create_read_only = (dwFlagsAndAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    request.temporary = (dwFlagsAndAttributes & FILE_ATTRIBUTE_TEMPORARY) != 0;
    std::unique_ptr<FileObject> file = OpenFileObject(*name, request);
    if (!file) return INVALID_HANDLE_VALUE;
    return RegisterFileObject(std::move(file));
  });
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
  return WithoutExceptions<BOOL>(FALSE, [&]() -> BOOL {
    std::unique_ptr<FileObject> file = UnregisterFileObject(hObject);
    if (!file) return FALSE;
    // A file that was neither moved into place nor deleted keeps what was
    // written to it, under the name it was created as. That name is made
    // durable at once: what was flushed before the close may be the only
    // complete copy of a picture.
    const bool naming = !file->unnamed_as.empty();
    const bool named = !naming || LinkUnnamedFile(file->fd.Get(), file->unnamed_as);
    if (naming && named) SyncFolderOf(file->unnamed_as);
    const DWORD link_error = named ? ERROR_SUCCESS : Win32ErrorFromErrno(errno, ERROR_GEN_FAILURE);
    // The descriptor is gone whatever close says; its locks go with it.
    if (!file->fd.Reset()) return FailWithErrno(ERROR_GEN_FAILURE);
    if (!named) return FailWith(link_error);
    return TRUE;
  });
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
  const FileObject* file = LookUpFileObject(hFile);
  struct stat status {};
  if (file == nullptr) return INVALID_FILE_SIZE;
  if (fstat(file->fd.Get(), &status) != 0) {
    FailWithErrno(ERROR_GEN_FAILURE);
    return INVALID_FILE_SIZE;
  }
  const auto size = static_cast<ULONGLONG>(status.st_size);
  if (lpFileSizeHigh != nullptr) *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
  const auto low = static_cast<DWORD>(size);
  // Tells a real low part of 0xFFFFFFFF apart from failure.
  if (low == INVALID_FILE_SIZE) SetLastError(NO_ERROR);
  return low;
}

BOOL WINAPI GetFileInformationByHandle(HANDLE hFile, LPBY_HANDLE_FILE_INFORMATION lpFileInformation) {
  const FileObject* file = LookUpFileObject(hFile);
  if (file == nullptr) return FALSE;
  if (lpFileInformation == nullptr) return FailWith(ERROR_INVALID_PARAMETER);
  struct stat status {};
  if (fstat(file->fd.Get(), &status) != 0) return FailWithErrno(ERROR_GEN_FAILURE);
  const auto size = static_cast<ULONGLONG>(status.st_size);
  const auto index = static_cast<ULONGLONG>(status.st_ino);
  BY_HANDLE_FILE_INFORMATION& info = *lpFileInformation;
  info.dwFileAttributes = AttributesOf(status);
  // POSIX keeps no creation time everywhere; the last write stands in.
  info.ftCreationTime = FileTimeOf(status.st_mtim);
  info.ftLastAccessTime = FileTimeOf(status.st_atim);
  info.ftLastWriteTime = FileTimeOf(status.st_mtim);
  info.dwVolumeSerialNumber = static_cast<DWORD>(status.st_dev);
  info.nFileSizeHigh = static_cast<DWORD>(size >> 32);
  info.nFileSizeLow = static_cast<DWORD>(size);
  info.nNumberOfLinks = static_cast<DWORD>(status.st_nlink);
  info.nFileIndexHigh = static_cast<DWORD>(index >> 32);
  info.nFileIndexLow = static_cast<DWORD>(index);
  return TRUE;
}

DWORD WINAPI GetFinalPathNameByHandleW(HANDLE hFile, LPWSTR lpszFilePath, DWORD cchFilePath, DWORD dwFlags) {
  return WithoutExceptions<DWORD>(DWORD{0}, [&]() -> DWORD {
    const FileObject* file = LookUpFileObject(hFile);
    if (file == nullptr) return 0;
    if (dwFlags != (FILE_NAME_NORMALIZED | VOLUME_NAME_DOS)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    struct stat status {};
    if (fstat(file->fd.Get(), &status) != 0 || status.st_nlink == 0) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return 0;
    }
    // The kernel knows the name the descriptor was reached by, links resolved.
    const std::string link = "/proc/self/fd/" + std::to_string(file->fd.Get());
    std::string name(256, '\0');
    for (;;) {
      const ssize_t length = readlink(link.c_str(), name.data(), name.size());
      if (length < 0) {
        FailWithErrno(ERROR_NOT_SUPPORTED);
        return 0;
      }
      if (static_cast<size_t>(length) < name.size()) {
        name.resize(static_cast<size_t>(length));
        break;
      }
      name.resize(name.size() * 2);
    }
    const std::u16string text = PathBytesToUtf16(name);
    if (text.size() >= cchFilePath || lpszFilePath == nullptr) return static_cast<DWORD>(text.size() + 1);
    std::copy(text.begin(), text.end(), lpszFilePath);
    lpszFilePath[text.size()] = u'\0';
    return static_cast<DWORD>(text.size());
  });
}
