#include "platform/posix/kernel32/open_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/posix/kernel32/errno_mapping.h"
#include "platform/posix/kernel32/file_names.h"
#include "platform/posix/kernel32/file_test_hooks.h"
#include "platform/posix/kernel32/last_error.h"
#include "platform/posix/kernel32/share_locks.h"
#include "platform/posix/kernel32/unnamed_files.h"

namespace repng::posix {
namespace {

// A name that keeps appearing and vanishing between our two opens.
constexpr int kMaxCreateAttempts = 8;

std::unique_ptr<FileObject> Fail(DWORD code) {
  SetLastError(code);
  return nullptr;
}

bool IsValidRequest(const OpenRequest& request) {
  if (request.share_mode & ~static_cast<DWORD>(FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)) return false;
  if (request.disposition < CREATE_NEW || request.disposition > TRUNCATE_EXISTING) return false;
  return request.disposition != TRUNCATE_EXISTING || (request.access & GENERIC_WRITE);
}

struct OpenedName {
  UniqueFd fd;
  bool created = false;
  DWORD error = ERROR_SUCCESS;
  bool unnamed = false;
};

// Always open for reading too: the share locks are read locks. Never block
// on a FIFO: it is refused as soon as it is seen for what it is.
int OpenFlagsFor(DWORD access) {
  return ((access & GENERIC_WRITE) ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
}

DWORD ErrorOfFailedOpen(const std::string& name, int error) {
  if (error == ENOENT) return NotFoundErrorFor(name);
  return Win32ErrorFromErrno(error, ERROR_ACCESS_DENIED);
}

OpenedName OpenExisting(const std::string& name, int flags) {
  const int fd = open(name.c_str(), flags);
  if (fd < 0) return {UniqueFd(), false, ErrorOfFailedOpen(name, errno)};
  return {UniqueFd(fd), false, ERROR_SUCCESS};
}

OpenedName CreateNew(const std::string& name, int flags, mode_t mode) {
  if (const DWORD refused = CheckFolderAcceptsNewNames(name); refused != ERROR_SUCCESS) return {UniqueFd(), false, refused};
  const int fd = open(name.c_str(), flags | O_CREAT | O_EXCL, mode);
  if (fd < 0) return {UniqueFd(), false, ErrorOfFailedOpen(name, errno)};
  return {UniqueFd(fd), true, ERROR_SUCCESS};
}

// The name stays free until the file is moved there or closed; a name that
// is taken, on disk or by another unnamed file, is refused as CREATE_NEW
// would refuse it.
OpenedName CreateUnnamed(const std::string& name, int flags, mode_t mode) {
  if (const DWORD refused = CheckFolderAcceptsNewNames(name); refused != ERROR_SUCCESS) return {UniqueFd(), false, refused};
  struct stat status {};
  if (lstat(name.c_str(), &status) == 0 || FindUnnamedFile(name) != nullptr)
    return {UniqueFd(), false, ERROR_FILE_EXISTS};
  if ((flags & O_ACCMODE) == O_RDWR) {
    UniqueFd fd = OpenUnnamedFile(name);
    if (fd.IsValid()) return {std::move(fd), true, ERROR_SUCCESS, true};
    if (errno != EOPNOTSUPP) return {UniqueFd(), false, ErrorOfFailedOpen(name, errno)};
  }
  return CreateNew(name, flags, mode);
}

OpenedName OpenOrCreate(const std::string& name, int flags, mode_t mode) {
  OpenedName opened;
  for (int attempt = 0; attempt < kMaxCreateAttempts; ++attempt) {
    opened = OpenExisting(name, flags);
    if (opened.error != ERROR_FILE_NOT_FOUND) return opened;
    opened = CreateNew(name, flags, mode);
    if (opened.error != ERROR_FILE_EXISTS) return opened;
  }
  return opened;
}

OpenedName OpenName(const std::string& name, const OpenRequest& request) {
  const int flags = OpenFlagsFor(request.access);
  const mode_t mode = request.create_read_only ? 0444 : request.temporary ? 0600 : 0666;
  if (request.disposition == CREATE_NEW && testing::FailsThisCall(testing::FileFault::kCreateNew))
    return {UniqueFd(), false, ERROR_DISK_FULL};
  if ((request.access & GENERIC_WRITE) && testing::FailsThisCall(testing::FileFault::kOpenForWriting))
    return {UniqueFd(), false, ERROR_SHARING_VIOLATION};
  switch (request.disposition) {
    case CREATE_NEW:
      return request.temporary ? CreateUnnamed(name, flags, mode) : CreateNew(name, flags, mode);
    case CREATE_ALWAYS:
    case OPEN_ALWAYS:
      return OpenOrCreate(name, flags, mode);
    default:
      return OpenExisting(name, flags);
  }
}

bool TruncatesExisting(DWORD disposition) { return disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING; }

}  // namespace

std::unique_ptr<FileObject> OpenFileObject(const std::string& name, const OpenRequest& request) {
  if (!IsValidRequest(request)) return Fail(ERROR_INVALID_PARAMETER);

  // Refuse what is no file before opening it: opening a device can act.
  struct stat status {};
  if (stat(name.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) return Fail(ERROR_ACCESS_DENIED);

  OpenedName opened = OpenName(name, request);
  if (opened.error != ERROR_SUCCESS) return Fail(opened.error);
  const int fd = opened.fd.Get();

  if (fstat(fd, &status) != 0) return Fail(Win32ErrorFromErrno(errno, ERROR_ACCESS_DENIED));
  if (!S_ISREG(status.st_mode)) return Fail(ERROR_ACCESS_DENIED);
  const bool writes = (request.access & GENERIC_WRITE) || TruncatesExisting(request.disposition);
  if (!opened.created && writes && IsReadOnly(status)) return Fail(ERROR_ACCESS_DENIED);

  if (const DWORD refused = ClaimShareMode(fd, request.access, request.share_mode); refused != ERROR_SUCCESS)
    return Fail(refused);

  const int status_flags = fcntl(fd, F_GETFL);
  if (status_flags < 0 || fcntl(fd, F_SETFL, status_flags & ~O_NONBLOCK) != 0)
    return Fail(Win32ErrorFromErrno(errno, ERROR_ACCESS_DENIED));
  if (!opened.created && TruncatesExisting(request.disposition) && ftruncate(fd, 0) != 0)
    return Fail(Win32ErrorFromErrno(errno, ERROR_WRITE_FAULT));

  auto file = std::make_unique<FileObject>();
  file->fd = std::move(opened.fd);
  file->access = request.access & (GENERIC_READ | GENERIC_WRITE | DELETE);
  if (opened.unnamed) file->unnamed_as = name;
  const bool reports_existing = request.disposition == CREATE_ALWAYS || request.disposition == OPEN_ALWAYS;
  SetLastError(reports_existing && !opened.created ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return file;
}

}  // namespace repng::posix
