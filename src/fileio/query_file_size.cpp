#include "fileio/scoped_file_handle.h"
#include "fileio/whole_file.h"

std::optional<DWORD> QueryFileSize(const Path& path) {
  // Shares deletion only: a file that anyone else has open is not measured.
  ScopedFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file.IsValid()) return std::nullopt;

  DWORD size_high = 0;
  const DWORD size = GetFileSize(file.Get(), &size_high);
  if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return std::nullopt;
  // Its low 32 bits would be a wrong size, not a smaller one.
  if (size_high != 0) return std::nullopt;
  return size;
}
