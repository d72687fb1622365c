// The overwrite never leaves a file truncated or half-written: the new bytes
// go to disk in a new file beside the old one first, and only a complete,
// flushed copy takes the old one's place.
#include <optional>

#include "fileio/scoped_file_handle.h"
#include "fileio/whole_file.h"

namespace {

// Names tried for the new file beside the old one; leftovers of an earlier
// run that was killed are skipped, not reused.
constexpr int kMaxSiblingNames = 10;
// Tries of the final name, which can grow between two calls.
constexpr int kMaxFinalPathTries = 3;

// The name of the file itself, symbolic links resolved, so that the new
// file lands in the folder of the real file and a link stays a link.
std::optional<Path> FinalPathOf(HANDLE file) {
  Path name(260, WCHAR{0});
  for (int attempt = 0; attempt < kMaxFinalPathTries; ++attempt) {
    const DWORD length = GetFinalPathNameByHandleW(file, name.data(), static_cast<DWORD>(name.size()),
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return std::nullopt;
    if (length < name.size()) {
      name.resize(length);
      return name;
    }
    name.resize(length);
  }
  return std::nullopt;
}

bool WriteAllAt(HANDLE file, const BYTE* bytes, DWORD length) {
  DWORD written = 0;
  return WriteFile(file, bytes, length, &written, nullptr) && written == length;
}

// Writes the bytes to a new file beside `final_path` and flushes them to
// disk. Returns the new file's name, or nothing with no new file left over.
std::optional<Path> WriteSibling(const Path& final_path, const BYTE* bytes, DWORD length) {
  for (int attempt = 0; attempt < kMaxSiblingNames; ++attempt) {
    Path sibling = final_path + TEXT(".~repng");
    sibling.push_back(static_cast<WCHAR>(TEXT('0') + attempt));
    ScopedFileHandle file(
        CreateFileW(sibling.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
      return std::nullopt;
    }
    const bool complete = WriteAllAt(file.Get(), bytes, length) && FlushFileBuffers(file.Get());
    if (file.Close() && complete) return sibling;
    DeleteFileW(sibling.c_str());
    return std::nullopt;
  }
  return std::nullopt;
}

// When in doubt, both answer no: the new file then stays rather than risk
// the only complete copy.
bool IsSurelyThere(const Path& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
bool IsSurelyGone(const Path& path) {
  return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES && GetLastError() == ERROR_FILE_NOT_FOUND;
}

// Puts the new file in the old one's place under the old name, keeping the
// old file's permissions. On failure the new file stays where it is.
bool MoveIntoPlace(const Path& final_path, const Path& sibling) {
  if (ReplaceFileW(final_path.c_str(), sibling.c_str(), nullptr, REPLACEFILE_WRITE_THROUGH, nullptr, nullptr))
    return true;
  // ReplaceFileW can fail after the old file has gone; then the new one is
  // the only copy and must take the name.
  if (IsSurelyGone(final_path))
    return MoveFileExW(sibling.c_str(), final_path.c_str(), MOVEFILE_WRITE_THROUGH) != FALSE;
  return false;
}

// A file with several names keeps them all only when its content changes in
// place. The complete copy beside it is on disk already, so a failure here
// still leaves the new picture under the file's own name.
bool OverwriteInPlace(ScopedFileHandle& target, const Path& final_path, const Path& sibling, const BYTE* bytes,
                      DWORD length) {
  LARGE_INTEGER start{};
  bool overwritten = SetFilePointerEx(target.Get(), start, nullptr, FILE_BEGIN) &&
                     WriteAllAt(target.Get(), bytes, length) && SetEndOfFile(target.Get()) &&
                     FlushFileBuffers(target.Get());
  overwritten = target.Close() && overwritten;
  if (overwritten) {
    DeleteFileW(sibling.c_str());
    return true;
  }
  return MoveIntoPlace(final_path, sibling);
}

bool ReplaceContent(ScopedFileHandle& target, const BYTE* bytes, DWORD length) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(target.Get(), &info)) return false;
  // Windows does not let a normal file replace a hidden or system one.
  if (info.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) return false;
  const std::optional<Path> final_path = FinalPathOf(target.Get());
  if (!final_path) return false;

  const std::optional<Path> sibling = WriteSibling(*final_path, bytes, length);
  if (!sibling) return false;
  if (info.nNumberOfLinks > 1) return OverwriteInPlace(target, *final_path, *sibling, bytes, length);

  // The old file must not be open, not even by us, when it is replaced.
  target.Close();
  if (MoveIntoPlace(*final_path, *sibling)) return true;
  if (IsSurelyThere(*final_path)) DeleteFileW(sibling->c_str());
  return false;
}

}  // namespace

bool WriteWholeFile(const Path& path, const BYTE* bytes, int length) {
  if (bytes == nullptr || length < 1) return false;
  // The same check as an open that truncates would make (write access, no
  // sharing), without truncating: a read-only file, a file that another
  // process holds open, and an unwritable folder refuse here.
  ScopedFileHandle target(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!target.IsValid()) return false;
  const bool created = GetLastError() != ERROR_ALREADY_EXISTS;

  const bool replaced = ReplaceContent(target, bytes, static_cast<DWORD>(length));
  if (!replaced && created) {
    target.Close();
    DeleteFileW(path.c_str());
  }
  return replaced;
}
