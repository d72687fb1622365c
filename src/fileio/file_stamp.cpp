#include "fileio/whole_file.h"

bool FileStamp::operator==(const FileStamp& other) const {
  return volume == other.volume && index_high == other.index_high && index_low == other.index_low &&
         size_high == other.size_high && size_low == other.size_low &&
         last_write.dwLowDateTime == other.last_write.dwLowDateTime &&
         last_write.dwHighDateTime == other.last_write.dwHighDateTime;
}

std::optional<FileStamp> StampOf(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file, &info)) return std::nullopt;
  return StampFrom(info);
}

FileStamp StampFrom(const BY_HANDLE_FILE_INFORMATION& info) {
  FileStamp stamp;
  stamp.volume = info.dwVolumeSerialNumber;
  stamp.index_high = info.nFileIndexHigh;
  stamp.index_low = info.nFileIndexLow;
  stamp.size_high = info.nFileSizeHigh;
  stamp.size_low = info.nFileSizeLow;
  stamp.last_write = info.ftLastWriteTime;
  return stamp;
}
