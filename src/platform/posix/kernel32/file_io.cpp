// Reading, writing and positioning through file handles. Each transfer
// loops until all bytes have moved, the file ends or the system refuses.
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/posix/kernel32/errno_mapping.h"
#include "platform/posix/kernel32/file_objects.h"
#include "platform/posix/kernel32/file_test_hooks.h"
#include "platform/posix/kernel32/files.h"
#include "platform/posix/kernel32/last_error.h"

using namespace repng::posix;

namespace {

// Linux moves at most about 2 GiB per call anyway.
constexpr size_t kMaxBytesPerCall = size_t{1} << 30;

// The file behind a handle opened with `right`, or null with the last error.
FileObject* FileWithRight(HANDLE handle, DWORD right) {
  FileObject* file = LookUpFileObject(handle);
  if (file != nullptr && !(file->access & right)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return file;
}

}  // namespace

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = 0;
  FileObject* file = FileWithRight(hFile, GENERIC_READ);
  if (file == nullptr) return FALSE;
  if (lpOverlapped != nullptr || lpNumberOfBytesRead == nullptr || (lpBuffer == nullptr && nNumberOfBytesToRead > 0))
    return FailWith(ERROR_INVALID_PARAMETER);
  auto* bytes = static_cast<unsigned char*>(lpBuffer);
  DWORD done = 0;
  while (done < nNumberOfBytesToRead) {
    const size_t chunk = std::min<size_t>(nNumberOfBytesToRead - done, kMaxBytesPerCall);
    const ssize_t got = read(file->fd.Get(), bytes + done, chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      *lpNumberOfBytesRead = done;
      return FailWithErrno(ERROR_READ_FAULT);
    }
    if (got == 0) break;
    done += static_cast<DWORD>(got);
  }
  *lpNumberOfBytesRead = done;
  return TRUE;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
                      LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = 0;
  FileObject* file = FileWithRight(hFile, GENERIC_WRITE);
  if (file == nullptr) return FALSE;
  if (lpOverlapped != nullptr || lpNumberOfBytesWritten == nullptr ||
      (lpBuffer == nullptr && nNumberOfBytesToWrite > 0))
    return FailWith(ERROR_INVALID_PARAMETER);
  const auto* bytes = static_cast<const unsigned char*>(lpBuffer);
  const bool fails = testing::FailsThisCall(testing::FileFault::kWrite);
  const bool falls_short = testing::FailsThisCall(testing::FileFault::kShortWrite);
  // An injected fault lets half the bytes through first, as a full disk would.
  const DWORD wanted = (fails || falls_short) ? nNumberOfBytesToWrite / 2 : nNumberOfBytesToWrite;
  DWORD done = 0;
  while (done < wanted) {
    const size_t chunk = std::min<size_t>(wanted - done, kMaxBytesPerCall);
    const ssize_t put = write(file->fd.Get(), bytes + done, chunk);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      *lpNumberOfBytesWritten = done;
      return put < 0 ? FailWithErrno(ERROR_WRITE_FAULT) : FailWith(ERROR_WRITE_FAULT);
    }
    done += static_cast<DWORD>(put);
  }
  *lpNumberOfBytesWritten = done;
  if (fails) return FailWith(ERROR_DISK_FULL);
  return TRUE;
}

BOOL WINAPI SetFilePointerEx(HANDLE hFile, LARGE_INTEGER liDistanceToMove, PLARGE_INTEGER lpNewFilePointer,
                             DWORD dwMoveMethod) {
  const FileObject* file = LookUpFileObject(hFile);
  if (file == nullptr) return FALSE;
  int whence = SEEK_SET;
  switch (dwMoveMethod) {
    case FILE_BEGIN:
      whence = SEEK_SET;
      break;
    case FILE_CURRENT:
      whence = SEEK_CUR;
      break;
    case FILE_END:
      whence = SEEK_END;
      break;
    default:
      return FailWith(ERROR_INVALID_PARAMETER);
  }
  const off_t position = lseek(file->fd.Get(), static_cast<off_t>(liDistanceToMove.QuadPart), whence);
  if (position < 0) return errno == EINVAL ? FailWith(ERROR_NEGATIVE_SEEK) : FailWithErrno(ERROR_GEN_FAILURE);
  if (lpNewFilePointer != nullptr) lpNewFilePointer->QuadPart = position;
  return TRUE;
}

BOOL WINAPI SetEndOfFile(HANDLE hFile) {
  const FileObject* file = FileWithRight(hFile, GENERIC_WRITE);
  if (file == nullptr) return FALSE;
  const off_t position = lseek(file->fd.Get(), 0, SEEK_CUR);
  if (position < 0 || ftruncate(file->fd.Get(), position) != 0) return FailWithErrno(ERROR_WRITE_FAULT);
  return TRUE;
}

BOOL WINAPI FlushFileBuffers(HANDLE hFile) {
  const FileObject* file = FileWithRight(hFile, GENERIC_WRITE);
  if (file == nullptr) return FALSE;
  if (testing::FailsThisCall(testing::FileFault::kFlush)) return FailWith(ERROR_WRITE_FAULT);
  if (fsync(file->fd.Get()) != 0) return FailWithErrno(ERROR_WRITE_FAULT);
  return TRUE;
}
