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

// Which file, in which state: enough to tell whether a file was replaced or
// changed between reading it and writing over it.
struct FileStamp {
  DWORD volume = 0;
  DWORD index_high = 0;
  DWORD index_low = 0;
  DWORD size_high = 0;
  DWORD size_low = 0;
  FILETIME last_write = {};

  bool operator==(const FileStamp& other) const;
};

FileStamp StampFrom(const BY_HANDLE_FILE_INFORMATION& info);
// The stamp of an open file, or nothing when the platform cannot tell.
std::optional<FileStamp> StampOf(HANDLE file);

struct FileBytes {
  std::unique_ptr<BYTE[]> data;  // count + kReadSlackBytes bytes
  DWORD count = 0;
  FileStamp stamp;  // the file as it was read
};

// The whole file, or nothing when it cannot be opened, is not below
// kMaxInputFileSize, or could not be read in full. Out of memory throws.
std::optional<FileBytes> ReadWholeFile(const Path& path);

// The file's size, or nothing when it cannot be opened or measured.
std::optional<DWORD> QueryFileSize(const Path& path);

// What a failed overwrite left. Almost always the file as it was; in two
// rare cases a picture that is not under its own name any more.
struct WriteFailure {
  enum class Kind {
    kFileUnchanged,
    // A file with several names was left damaged; its old content is whole
    // in `where`.
    kOldContentElsewhere,
    // The old file left its name and nothing could be put there; the new
    // content is whole in `where`.
    kNewContentElsewhere,
  };
  Kind kind = Kind::kFileUnchanged;
  Path where;  // a full path, as the user would type it
};

// Replaces the file's content with `length` bytes (length >= 1). True only
// when the new content is complete on disk under the file's name; on false
// the file is unchanged, but for the rare cases `failure` tells of.
// With `expected`, a file that is no longer the one stamped (another program
// saved over it, or removed it, since it was read) is left alone: false.
bool WriteWholeFile(const Path& path, const BYTE* bytes, int length, const FileStamp* expected = nullptr,
                    WriteFailure* failure = nullptr);
