// Whole-file access: read under a size limit, a separate size query, and an
// overwrite that never leaves a file truncated or half-written.
#pragma once

#include <memory>
#include <optional>

#include "platform/windows_api.h"
#include "text/text_types.h"

// A file is read only when it is strictly smaller than this (100 MiB).
inline constexpr DWORD kMaxInputFileSize = 104857600;
// The read buffer is this much longer than the file; the byte after the
// content is 0, so the content can also be used as zero-terminated text.
inline constexpr DWORD kReadSlackBytes = 10;

struct FileBytes {
  std::unique_ptr<BYTE[]> data;  // count + kReadSlackBytes bytes
  DWORD count = 0;
};

// The whole file, or nothing when it cannot be opened, is not below
// kMaxInputFileSize, or could not be read in full. Out of memory throws.
std::optional<FileBytes> ReadWholeFile(const Path& path);

// The file's size, or nothing when it cannot be opened or measured.
std::optional<DWORD> QueryFileSize(const Path& path);

// Replaces the file's content with `length` bytes (length >= 1). True only
// when the new content is complete on disk; on false the file is unchanged.
bool WriteWholeFile(const Path& path, const BYTE* bytes, int length);
