// Scratch files and second processes for the tests of file access and of
// whole batches.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/windows_api.h"
#include "text/text_types.h"

namespace repng::testing {

// A fresh folder, removed with everything in it afterwards. Names are byte
// strings, as the file system keeps them.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& Folder() const { return folder_; }
  std::string PathOf(const std::string& name) const { return folder_ + "/" + name; }
  std::vector<std::string> Names() const;  // sorted

 private:
  std::string folder_;
};

// The UTF-16 path that names these bytes (the lossless mapping).
Path WidePath(const std::string& bytes);

// The mode is set exactly, whatever the umask.
void WriteBytes(const std::string& path, const std::string& bytes, mode_t mode = 0644);
// Throws when the file cannot be opened.
std::string ReadBytes(const std::string& path);
// A file of `size` bytes that takes no disk space; its last byte is `last`.
void MakeSparseFile(const std::string& path, off_t size, char last);
inline mode_t PermissionBitsOf(const std::string& path) {
  return static_cast<mode_t>(std::filesystem::status(path).permissions() & std::filesystem::perms::mask);
}

// A second process that opens a file with CreateFileW and keeps it open
// until this object goes away.
class ChildHoldingFile {
 public:
  ChildHoldingFile(const Path& path, DWORD access, DWORD share_mode);
  ~ChildHoldingFile();
  ChildHoldingFile(const ChildHoldingFile&) = delete;
  ChildHoldingFile& operator=(const ChildHoldingFile&) = delete;

  bool Opened() const { return opened_; }

 private:
  pid_t child_ = -1;
  int channel_ = -1;
  bool opened_ = false;
};

}  // namespace repng::testing
