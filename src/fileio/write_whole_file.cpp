// The overwrite never leaves a file truncated or half-written: the new bytes
// go to disk in a new file beside the old one first, and only a complete,
// flushed copy takes the old one's place.
#include <optional>
#include <utility>

#include "fileio/scoped_file_handle.h"
#include "fileio/whole_file.h"

namespace {

// Names tried for the new file beside the old one; leftovers of an earlier
// run that was killed are skipped, not reused.
constexpr int kMaxSiblingNames = 10;
// Tries of the final name, which can grow between two calls.
constexpr int kMaxFinalPathTries = 3;

// What ends a folder's part of a path. Elsewhere than on Windows a
// backslash is an ordinary character of a name.
#ifdef _WIN32
constexpr WCHAR kFolderSeparators[] = TEXT("\\/");
#else
constexpr WCHAR kFolderSeparators[] = TEXT("/");
#endif

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

// The path up to and including its last folder separator.
Path FolderPartOf(const Path& path) {
  const size_t separator = path.find_last_of(kFolderSeparators);
  return separator == Path::npos ? Path() : path.substr(0, separator + 1);
}

bool WriteAllAt(HANDLE file, const BYTE* bytes, DWORD length) {
  DWORD written = 0;
  return WriteFile(file, bytes, length, &written, nullptr) && written == length;
}

// The complete new content, flushed to disk, in a file beside the old one
// that stays open until it takes the old one's place. Created temporary:
// on Linux it has no name in the folder until then, so that a process
// killed on the way leaves nothing behind, and nobody else may read it.
// Unless kept, it is removed however the overwrite ends, exceptions
// included.
class NewFile {
 public:
  NewFile(Path name, HANDLE handle) : name_(std::move(name)), handle_(handle) {}
  NewFile(NewFile&& other) noexcept
      : name_(std::move(other.name_)), handle_(std::move(other.handle_)), kept_(std::exchange(other.kept_, true)) {}
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;
  ~NewFile() { Discard(); }

  const Path& Name() const { return name_; }
  const ScopedFileHandle& Handle() const { return handle_; }

  // It took the old one's place, or it is the only complete copy left.
  void Keep() { kept_ = true; }
  // Closes it; a file that had no name yet takes its name now.
  bool Close() { return handle_.Close(); }
  // Deleted while still open: Windows carries this out at the close, and
  // an unnamed file then never gets its name.
  void Discard() {
    if (!kept_) DeleteFileW(name_.c_str());
    kept_ = true;
    handle_.Close();
  }

 private:
  Path name_;
  ScopedFileHandle handle_;
  bool kept_ = false;
};

std::optional<NewFile> WriteNewFileBeside(const Path& final_path, const BYTE* bytes, DWORD length) {
  // The new name does not grow with the old one, so that a name near the
  // length limit can still be rewritten.
  const Path folder = FolderPartOf(final_path);
  for (int attempt = 0; attempt < kMaxSiblingNames; ++attempt) {
    Path name = folder + TEXT(".~repng");
    name.push_back(static_cast<WCHAR>(TEXT('0') + attempt));
    // Reading and deletion are shared because ReplaceFileW opens the
    // replacement for both.
    const HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
      return std::nullopt;
    }
    NewFile file(std::move(name), handle);
    if (!WriteAllAt(file.Handle().Get(), bytes, length) || !FlushFileBuffers(file.Handle().Get()))
      return std::nullopt;
    return file;
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
bool MoveIntoPlace(const Path& final_path, const Path& new_name) {
  if (ReplaceFileW(final_path.c_str(), new_name.c_str(), nullptr, REPLACEFILE_WRITE_THROUGH, nullptr, nullptr))
    return true;
  // ReplaceFileW can fail after the old file has gone; then the new one is
  // the only copy and must take the name.
  if (IsSurelyGone(final_path))
    return MoveFileExW(new_name.c_str(), final_path.c_str(), MOVEFILE_WRITE_THROUGH) != FALSE;
  return false;
}

// A file with several names keeps them all only when its content changes in
// place. The complete copy gets its own name first, so that whatever
// happens to the overwrite a complete picture stays on disk.
bool OverwriteInPlace(ScopedFileHandle& target, const Path& final_path, NewFile& copy, const BYTE* bytes,
                      DWORD length) {
  if (!copy.Close()) return false;
  LARGE_INTEGER start{};
  bool overwritten = SetFilePointerEx(target.Get(), start, nullptr, FILE_BEGIN) &&
                     WriteAllAt(target.Get(), bytes, length) && SetEndOfFile(target.Get()) &&
                     FlushFileBuffers(target.Get());
  overwritten = target.Close() && overwritten;
  if (overwritten) return true;
  // The old content may be half overwritten: the copy is the one to keep.
  copy.Keep();
  return MoveIntoPlace(final_path, copy.Name());
}

bool ReplaceContent(ScopedFileHandle& target, const BYTE* bytes, DWORD length, const FileStamp* expected) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(target.Get(), &info)) return false;
  // Another program's save since the read must not be overwritten with the
  // older picture.
  if (expected != nullptr && StampFrom(info) != *expected) return false;
  // Windows does not let a normal file replace a hidden or system one.
  if (info.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) return false;
  const std::optional<Path> final_path = FinalPathOf(target.Get());
  if (!final_path) return false;

  std::optional<NewFile> new_file = WriteNewFileBeside(*final_path, bytes, length);
  if (!new_file) return false;
  if (info.nNumberOfLinks > 1) return OverwriteInPlace(target, *final_path, *new_file, bytes, length);

  // The old file must not be open, not even by us, when it is replaced;
  // on Windows neither may the new one be.
  target.Close();
  if (repng::platform::kReplacementMustBeClosed && !new_file->Close()) return false;
  const bool moved = MoveIntoPlace(*final_path, new_file->Name());
  if (moved || !IsSurelyThere(*final_path)) new_file->Keep();
  return moved;
}

}  // namespace

bool WriteWholeFile(const Path& path, const BYTE* bytes, int length, const FileStamp* expected) {
  if (bytes == nullptr || length < 1) return false;
  // The same check as an open that truncates would make (write access, no
  // sharing), without truncating: a read-only file, a file that another
  // process holds open, and an unwritable folder refuse here. A stamped file
  // that has gone is not created: creating it only to delete it again by
  // name could delete another program's new save of that name.
  ScopedFileHandle target(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      expected != nullptr ? OPEN_EXISTING : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                      nullptr));
  if (!target.IsValid()) return false;
  const bool created = expected == nullptr && GetLastError() != ERROR_ALREADY_EXISTS;

  const bool replaced = ReplaceContent(target, bytes, static_cast<DWORD>(length), expected);
  if (!replaced && created) {
    target.Close();
    DeleteFileW(path.c_str());
  }
  return replaced;
}
