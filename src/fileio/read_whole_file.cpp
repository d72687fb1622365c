#include "fileio/scoped_file_handle.h"
#include "fileio/whole_file.h"

std::optional<FileBytes> ReadWholeFile(const Path& path) {
  // Others may read along, but nobody may change or remove the file while
  // it is read.
  ScopedFileHandle file(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) return std::nullopt;

  // The full size counts: a file of 4 GiB or more is too large whatever its
  // low part says, and a failed query (INVALID_FILE_SIZE) is too large too.
  DWORD size_high = 0;
  const DWORD size = GetFileSize(file.Get(), &size_high);
  if (size_high != 0 || size >= kMaxInputFileSize) return std::nullopt;

  const std::optional<FileStamp> stamp = StampOf(file.Get());
  if (!stamp) return std::nullopt;

  FileBytes bytes;
  bytes.stamp = *stamp;
  bytes.data.reset(new BYTE[size + kReadSlackBytes]);
  DWORD count = 0;
  // A short read is not the file: a partial picture must never be written
  // back over the whole one.
  if (!ReadFile(file.Get(), bytes.data.get(), size, &count, nullptr) || count != size) return std::nullopt;
  bytes.count = count;
  bytes.data[count] = 0;
  return bytes;
}
