// The overwrite never leaves a file truncated or half-written: the new bytes
// go to disk in a new file beside the old one first, and only a complete,
// flushed copy takes the old one's place. A file with several names is
// written over in place instead, with a copy of its old content beside it to
// write back should that fail.
#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "fileio/scoped_file_handle.h"
#include "fileio/whole_file.h"

namespace {

// Names tried for the new file beside the old one; leftovers of an earlier
// run that was killed are skipped, not reused.
constexpr int kMaxSiblingNames = 10;
// Tries of the final name, which can grow between two calls.
constexpr int kMaxFinalPathTries = 3;
// Old content is copied through a buffer of this size, not held whole.
constexpr DWORD kCopyChunkBytes = 1 << 16;

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

// Complete content, flushed to disk, in a file beside the old one: the new
// content, which stays open until it takes the old one's place, or a copy of
// the old. Created temporary: on Linux it has no name in the folder until
// then (or until it is closed), so that a process killed on the way leaves
// nothing behind, and nobody else may read it. Unless kept, it is removed
// however the overwrite ends, exceptions included.
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

// A new file beside the old one, filled by `fill` and flushed.
template <typename Fill>
std::optional<NewFile> NewFileBeside(const Path& final_path, Fill fill) {
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
    if (!fill(file.Handle().Get()) || !FlushFileBuffers(file.Handle().Get())) return std::nullopt;
    return file;
  }
  return std::nullopt;
}

bool Rewind(HANDLE file) {
  LARGE_INTEGER start{};
  return SetFilePointerEx(file, start, nullptr, FILE_BEGIN) != FALSE;
}

// The first `length` bytes of one file become the whole of another.
bool CopyContent(HANDLE from, HANDLE to, ULONGLONG length, std::vector<BYTE>& buffer) {
  if (!Rewind(from) || !Rewind(to)) return false;
  for (ULONGLONG done = 0; done < length;) {
    const auto chunk = static_cast<DWORD>(std::min<ULONGLONG>(length - done, buffer.size()));
    DWORD got = 0;
    if (!ReadFile(from, buffer.data(), chunk, &got, nullptr) || got != chunk) return false;
    if (!WriteAllAt(to, buffer.data(), chunk)) return false;
    done += chunk;
  }
  return SetEndOfFile(to) != FALSE;
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

// The last try for a name that has lost its file: a complete copy of the new
// content there, unless another program has put a file there meanwhile. A
// copy cut short is taken away again.
bool CopyUnderEmptyName(const Path& final_path, const BYTE* bytes, DWORD length) {
  ScopedFileHandle copy(
      CreateFileW(final_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!copy.IsValid()) return false;
  if (WriteAllAt(copy.Get(), bytes, length) && FlushFileBuffers(copy.Get())) return true;
  copy.Close();
  DeleteFileW(final_path.c_str());
  return false;
}

// A path for the report: without the prefix that Windows puts on final
// paths.
Path AsTyped(const Path& path) {
  const Path unc = TEXT("\\\\?\\UNC\\");
  const Path local = TEXT("\\\\?\\");
  if (path.starts_with(unc)) return TEXT("\\\\") + path.substr(unc.size());
  if (path.starts_with(local)) return path.substr(local.size());
  return path;
}

// Where the old content's copy stays when undoing a failed overwrite failed
// too, so that every name of the file holds a damaged picture: beside the
// file, under a name that says what it is and takes no other file's place,
// or else under the hidden name it already has. Returns where it is.
Path KeepOriginal(NewFile& original, const Path& final_path) {
  original.Keep();
  for (int attempt = 0; attempt < kMaxSiblingNames; ++attempt) {
    Path name = final_path + TEXT(".repng-original");
    if (attempt > 0) {
      name.push_back(TEXT('-'));
      name.push_back(static_cast<WCHAR>(TEXT('0') + attempt));
    }
    if (MoveFileExW(original.Name().c_str(), name.c_str(), MOVEFILE_WRITE_THROUGH)) return name;
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  return original.Name();
}

// A file with several names keeps them all only when its content changes in
// place. Its old content is saved beside it first, under a name, so that a
// failed or killed overwrite leaves the old picture whole on disk, and a
// failed one is undone under every name.
bool OverwriteInPlace(ScopedFileHandle& target, const Path& final_path, ULONGLONG old_length, const BYTE* bytes,
                      DWORD length, WriteFailure& failure) {
  // Taken before anything changes: running out of memory later would stop
  // the undoing.
  std::vector<BYTE> buffer(kCopyChunkBytes);
  std::optional<NewFile> original =
      NewFileBeside(final_path, [&](HANDLE copy) { return CopyContent(target.Get(), copy, old_length, buffer); });
  // Named now, so that a kill during the overwrite leaves it behind; read
  // back through that name to undo a failed one.
  if (!original || !original->Close()) return false;
  ScopedFileHandle saved(CreateFileW(original->Name().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!saved.IsValid()) return false;

  // Once flushed, the new content is on disk whatever the close says.
  if (Rewind(target.Get()) && WriteAllAt(target.Get(), bytes, length) && SetEndOfFile(target.Get()) &&
      FlushFileBuffers(target.Get()))
    return true;
  const bool restored = CopyContent(saved.Get(), target.Get(), old_length, buffer) && FlushFileBuffers(target.Get());
  target.Close();
  saved.Close();
  if (!restored) failure = {WriteFailure::Kind::kOldContentElsewhere, AsTyped(KeepOriginal(*original, final_path))};
  return false;
}

bool ReplaceContent(ScopedFileHandle& target, const BYTE* bytes, DWORD length, const FileStamp* expected,
                    WriteFailure& failure) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(target.Get(), &info)) return false;
  // Another program's save since the read must not be overwritten with the
  // older picture.
  if (expected != nullptr && StampFrom(info) != *expected) return false;
  // Windows does not let a normal file replace a hidden or system one.
  if (info.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) return false;
  const std::optional<Path> final_path = FinalPathOf(target.Get());
  if (!final_path) return false;

  if (info.nNumberOfLinks > 1) {
    const ULONGLONG old_length = (ULONGLONG{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    return OverwriteInPlace(target, *final_path, old_length, bytes, length, failure);
  }

  std::optional<NewFile> new_file =
      NewFileBeside(*final_path, [&](HANDLE file) { return WriteAllAt(file, bytes, length); });
  if (!new_file) return false;

  // The old file must not be open, not even by us, when it is replaced;
  // on Windows neither may the new one be.
  target.Close();
  if (repng::platform::kReplacementMustBeClosed && !new_file->Close()) return false;
  if (MoveIntoPlace(*final_path, new_file->Name())) {
    new_file->Keep();
    return true;
  }
  if (IsSurelyThere(*final_path)) return false;
  // The name has lost its file: it gets a copy of the new content, and the
  // new file goes; or else the new file stays, named, as the only copy.
  if (CopyUnderEmptyName(*final_path, bytes, length)) return true;
  new_file->Keep();
  new_file->Close();
  failure = {WriteFailure::Kind::kNewContentElsewhere, AsTyped(new_file->Name())};
  return false;
}

}  // namespace

bool WriteWholeFile(const Path& path, const BYTE* bytes, int length, const FileStamp* expected,
                    WriteFailure* failure) {
  WriteFailure ignored;
  WriteFailure& outcome = failure != nullptr ? *failure : ignored;
  outcome = {};
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

  const bool replaced = ReplaceContent(target, bytes, static_cast<DWORD>(length), expected, outcome);
  if (!replaced && created) {
    target.Close();
    DeleteFileW(path.c_str());
  }
  return replaced;
}
