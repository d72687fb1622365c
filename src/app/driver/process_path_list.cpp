#include "app/driver/process_path_list.h"

#include <climits>
#include <cstdio>

#include "app/driver/bitmap_owner.h"
#include "app/driver/path_list.h"
#include "fileio/whole_file.h"
#include "imaging/imaging.h"
#include "text/display_name.h"
#include "text/format_size.h"
#include "text/report_literals.h"
#include "text/wide_to_narrow.h"

namespace {

NarrowText NarrowDisplayName(const Path& path) { return WideToNarrow(DisplayNameOf(path), CP_ACP); }

// The picture, and the stamp of the file it came from. The file's bytes are
// released here, before anything else is allocated.
BitmapOwner DecodeFile(const Path& path, FileStamp* stamp) {
  std::optional<FileBytes> bytes = ReadWholeFile(path);
  if (!bytes) return BitmapOwner();
  *stamp = bytes->stamp;
  return BitmapOwner(LoadImageToHBitmap(bytes->data.get(), bytes->count));
}

// The end of the line of a file whose overwrite failed: unchanged, or, in the
// two rare cases, where its picture is.
void PrintWriteFailure(const WriteFailure& failure) {
  switch (failure.kind) {
    case WriteFailure::Kind::kOldContentElsewhere:
      std::printf(kWriteFailedDamagedTail, WideToNarrow(failure.where, CP_ACP).c_str());
      return;
    case WriteFailure::Kind::kNewContentElsewhere:
      std::printf(kWriteFailedNewElsewhereTail, WideToNarrow(failure.where, CP_ACP).c_str());
      return;
    case WriteFailure::Kind::kFileUnchanged:
      break;
  }
  std::fputs(kWriteFailedTail, stdout);
}

// Encodes the picture and overwrites the file when the PNG form is smaller,
// then prints the end of the file's line.
void ReplaceWhenSmaller(const Path& path, HBITMAP bitmap, DWORD old_size, const FileStamp& stamp) {
  UINT png_length = 0;
  const std::unique_ptr<BYTE[]> png = EncodeHBitmapToPng(bitmap, &png_length);
  const bool smaller = png != nullptr && png_length > 0 && png_length < old_size && png_length <= INT_MAX;
  if (!smaller) {
    std::fputs(kNotProcessedTail, stdout);
    return;
  }
  // Only over the file that was read: a save by another program since then
  // is not replaced by the older picture.
  WriteFailure failure;
  if (!WriteWholeFile(path, png.get(), static_cast<int>(png_length), &stamp, &failure)) {
    PrintWriteFailure(failure);
    return;
  }
  std::printf(kNewSizeTail, FormatSize(png_length).c_str());
}

void ProcessFile(const Path& path) {
  FileStamp stamp;
  const BitmapOwner bitmap = DecodeFile(path, &stamp);
  if (!bitmap) {
    std::printf(kNotImageLine, NarrowDisplayName(path).c_str());
    return;
  }
  // Asked again rather than taken from the read: this is the size the new
  // form must beat at the moment of writing.
  const std::optional<DWORD> old_size = QueryFileSize(path);
  if (!old_size) {
    std::printf(kOldSizeUnknownHead, NarrowDisplayName(path).c_str());
    std::fputs(kNotProcessedTail, stdout);
    return;
  }
  const NarrowText old_size_text = FormatSize(*old_size);
  std::printf(kOldSizeHead, NarrowDisplayName(path).c_str(), old_size_text.c_str());
  ReplaceWhenSmaller(path, bitmap.get(), *old_size, stamp);
}

}  // namespace

int ProcessPathList(int argument_count, WCHAR* arguments[]) {
  const std::list<Path> paths = BuildSortedPathList(argument_count, arguments);
  for (const Path& path : paths) ProcessFile(path);
  return 0;
}
