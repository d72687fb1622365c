// Operations on files by name. Deleting or renaming a file claims DELETE
// access first, so that an open that does not share deletion keeps its
// file where it is, as on Windows.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>

#include "platform/posix/kernel32/errno_mapping.h"
#include "platform/posix/kernel32/file_names.h"
#include "platform/posix/kernel32/file_test_hooks.h"
#include "platform/posix/kernel32/last_error.h"
#include "platform/posix/kernel32/no_throw.h"
#include "platform/posix/kernel32/open_file.h"
#include "platform/posix/kernel32/unnamed_files.h"

using namespace repng::posix;

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The name's own metadata (a symbolic link is not followed), or nothing
// with the last error set.
std::optional<struct stat> StatusOfName(const std::string& name) {
  struct stat status {};
  if (lstat(name.c_str(), &status) == 0) return status;
  SetLastError(errno == ENOENT ? NotFoundErrorFor(name) : Win32ErrorFromErrno(errno, ERROR_ACCESS_DENIED));
  return std::nullopt;
}

// Holds DELETE access to a regular file for as long as it lives; other
// kinds of entry carry no share locks and need no claim.
struct DeletionClaim {
  std::unique_ptr<FileObject> file;
  bool granted = false;
};

DeletionClaim ClaimDeletion(const std::string& name, const struct stat& status) {
  if (!S_ISREG(status.st_mode)) return {nullptr, true};
  if (IsReadOnly(status)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return {nullptr, false};
  }
  OpenRequest request;
  request.access = DELETE;
  request.share_mode = kShareAll;
  std::unique_ptr<FileObject> file = OpenFileObject(name, request);
  const bool granted = file != nullptr;
  return {std::move(file), granted};
}

// A replace that fails late, as Windows' own can: the old file already off
// its name, the replacement still under its own.
BOOL FailLate(const std::string& replaced) {
  if (unlink(replaced.c_str()) != 0) return FailWithErrno(ERROR_UNABLE_TO_MOVE_REPLACEMENT);
  return FailWith(ERROR_UNABLE_TO_MOVE_REPLACEMENT_2);
}

}  // namespace

DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName) {
  return WithoutExceptions<DWORD>(INVALID_FILE_ATTRIBUTES, [&]() -> DWORD {
    const std::optional<std::string> name = NameBytesOf(lpFileName);
    if (!name) return INVALID_FILE_ATTRIBUTES;
    struct stat status {};
    if (stat(name->c_str(), &status) != 0) {
      SetLastError(errno == ENOENT ? NotFoundErrorFor(*name) : Win32ErrorFromErrno(errno, ERROR_ACCESS_DENIED));
      return INVALID_FILE_ATTRIBUTES;
    }
    return AttributesOf(status);
  });
}

BOOL WINAPI DeleteFileW(LPCWSTR lpFileName) {
  return WithoutExceptions<BOOL>(FALSE, [&]() -> BOOL {
    const std::optional<std::string> name = NameBytesOf(lpFileName);
    if (!name) return FALSE;
    // A file that has no name yet never gets one: it vanishes at its close.
    if (FileObject* unnamed = FindUnnamedFile(*name); unnamed != nullptr) {
      unnamed->unnamed_as.clear();
      return TRUE;
    }
    const std::optional<struct stat> status = StatusOfName(*name);
    if (!status) return FALSE;
    if (S_ISDIR(status->st_mode)) return FailWith(ERROR_ACCESS_DENIED);
    const DeletionClaim claim = ClaimDeletion(*name, *status);
    if (!claim.granted) return FALSE;
    if (unlink(name->c_str()) != 0) return FailWithErrno(ERROR_ACCESS_DENIED);
    return TRUE;
  });
}

BOOL WINAPI MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags) {
  return WithoutExceptions<BOOL>(FALSE, [&]() -> BOOL {
    if (dwFlags & ~static_cast<DWORD>(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return FailWith(ERROR_INVALID_PARAMETER);
    const std::optional<std::string> source = NameBytesOf(lpExistingFileName);
    if (!source) return FALSE;
    const std::optional<std::string> target = NameBytesOf(lpNewFileName);
    if (!target) return FALSE;
    if (testing::FailsThisCall(testing::FileFault::kMove)) return FailWith(ERROR_ACCESS_DENIED);

    FileObject* const unnamed_source = FindUnnamedFile(*source);
    struct stat unnamed_status {};
    if (unnamed_source != nullptr && fstat(unnamed_source->fd.Get(), &unnamed_status) != 0)
      return FailWithErrno(ERROR_ACCESS_DENIED);
    const std::optional<struct stat> source_status =
        unnamed_source != nullptr ? std::optional<struct stat>(unnamed_status) : StatusOfName(*source);
    if (!source_status) return FALSE;
    OpenRequest request;
    request.access = DELETE;
    request.share_mode = kShareAll;
    std::unique_ptr<FileObject> source_claim;
    if (unnamed_source == nullptr && S_ISREG(source_status->st_mode)) {
      // Renaming a read-only file is allowed; only its content is protected.
      source_claim = OpenFileObject(*source, request);
      if (!source_claim) return FALSE;
    }

    DeletionClaim target_claim{nullptr, true};
    struct stat target_status {};
    if (lstat(target->c_str(), &target_status) == 0) {
      if (!(dwFlags & MOVEFILE_REPLACE_EXISTING)) return FailWith(ERROR_ALREADY_EXISTS);
      if (S_ISDIR(target_status.st_mode)) return FailWith(ERROR_ACCESS_DENIED);
      target_claim = ClaimDeletion(*target, target_status);
      if (!target_claim.granted) return FALSE;
    } else if (errno != ENOENT) {
      return FailWithErrno(ERROR_ACCESS_DENIED);
    } else if (const DWORD refused = CheckFolderAcceptsNewNames(*target); refused != ERROR_SUCCESS) {
      return FailWith(refused);
    }

    bool moved = false;
    if (unnamed_source != nullptr) {
      moved = (dwFlags & MOVEFILE_REPLACE_EXISTING) ? MoveUnnamedFileOver(unnamed_source->fd.Get(), *source, *target)
                                                     : LinkUnnamedFile(unnamed_source->fd.Get(), *target);
      if (moved) unnamed_source->unnamed_as.clear();
    } else if (dwFlags & MOVEFILE_REPLACE_EXISTING) {
      moved = RenameIntoPlace(*source, *target);
    } else {
      moved = renameat2(AT_FDCWD, source->c_str(), AT_FDCWD, target->c_str(), RENAME_NOREPLACE) == 0;
    }
    if (!moved) return errno == EEXIST ? FailWith(ERROR_ALREADY_EXISTS) : FailWithErrno(ERROR_ACCESS_DENIED);
    if (dwFlags & MOVEFILE_WRITE_THROUGH) {
      // The rename has happened; a folder that cannot be synced does not undo it.
      SyncFolderOf(*target);
      if (unnamed_source == nullptr && ParentFolderOf(*source) != ParentFolderOf(*target)) SyncFolderOf(*source);
    }
    return TRUE;
  });
}

BOOL WINAPI ReplaceFileW(LPCWSTR lpReplacedFileName, LPCWSTR lpReplacementFileName, LPCWSTR lpBackupFileName,
                         DWORD dwReplaceFlags, LPVOID lpExclude, LPVOID lpReserved) {
  return WithoutExceptions<BOOL>(FALSE, [&]() -> BOOL {
    if (lpBackupFileName != nullptr || lpExclude != nullptr || lpReserved != nullptr ||
        (dwReplaceFlags & ~static_cast<DWORD>(REPLACEFILE_WRITE_THROUGH)))
      return FailWith(ERROR_INVALID_PARAMETER);
    const std::optional<std::string> replaced = NameBytesOf(lpReplacedFileName);
    if (!replaced) return FALSE;
    const std::optional<std::string> replacement = NameBytesOf(lpReplacementFileName);
    if (!replacement) return FALSE;

    if (testing::FailsThisCall(testing::FileFault::kReplace)) return FailWith(ERROR_UNABLE_TO_MOVE_REPLACEMENT);

    const std::optional<struct stat> replaced_status = StatusOfName(*replaced);
    if (!replaced_status) return FALSE;
    if (!S_ISREG(replaced_status->st_mode)) return FailWith(ERROR_ACCESS_DENIED);
    const DeletionClaim replaced_claim = ClaimDeletion(*replaced, *replaced_status);
    if (!replaced_claim.granted) return FALSE;

    // The replacement is a file that has no name yet, or one found by name
    // and claimed for deletion.
    FileObject* const unnamed = FindUnnamedFile(*replacement);
    std::unique_ptr<FileObject> replacement_claim;
    if (unnamed == nullptr) {
      const std::optional<struct stat> named_status = StatusOfName(*replacement);
      if (!named_status) return FALSE;
      if (!S_ISREG(named_status->st_mode)) return FailWith(ERROR_ACCESS_DENIED);
      OpenRequest request;
      request.access = DELETE;
      request.share_mode = kShareAll;
      replacement_claim = OpenFileObject(*replacement, request);
      if (!replacement_claim) return FALSE;
    }
    const int fd = unnamed != nullptr ? unnamed->fd.Get() : replacement_claim->fd.Get();
    struct stat replacement_status {};
    if (fstat(fd, &replacement_status) != 0) return FailWithErrno(ERROR_UNABLE_TO_MOVE_REPLACEMENT);

    // The replacement takes over who may use the file. Only a privileged
    // process may give a file away, so a refused owner is no failure; the
    // owner comes first because changing it clears set-id bits.
    if (replacement_status.st_uid != replaced_status->st_uid || replacement_status.st_gid != replaced_status->st_gid) {
      const int ignored = fchown(fd, replaced_status->st_uid, replaced_status->st_gid);
      (void)ignored;
    }
    if (fchmod(fd, replaced_status->st_mode & 07777) != 0) return FailWithErrno(ERROR_UNABLE_TO_MOVE_REPLACEMENT);

    if (testing::FailsThisCall(testing::FileFault::kReplaceAfterRemovingOld)) return FailLate(*replaced);
    const bool moved = unnamed != nullptr ? MoveUnnamedFileOver(fd, *replacement, *replaced) : RenameIntoPlace(*replacement, *replaced);
    if (!moved) return FailWith(ERROR_UNABLE_TO_MOVE_REPLACEMENT);
    if (unnamed != nullptr) unnamed->unnamed_as.clear();
    // The replacement has happened; a folder that cannot be synced does not undo it.
    if (dwReplaceFlags & REPLACEFILE_WRITE_THROUGH) SyncFolderOf(*replaced);
    return TRUE;
  });
}
