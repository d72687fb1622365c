#include "kernel32/file_test_support.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "platform/posix/nls/path_bytes.h"

namespace repng::testing {

ScratchFolder::ScratchFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "repng-files-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  folder_ = pattern;
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  // Tests take write bits away; give them back so everything can go.
  std::filesystem::permissions(folder_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(folder_, ignored);
}

std::vector<std::string> ScratchFolder::Names() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder_)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

Path WidePath(const std::string& bytes) { return repng::posix::PathBytesToUtf16(bytes); }

void WriteBytes(const std::string& path, const std::string& bytes, mode_t mode) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  const bool written = fd >= 0 && write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) &&
                       fchmod(fd, mode) == 0;
  if (fd >= 0) close(fd);
  if (!written) throw std::runtime_error("cannot write " + path);
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void MakeSparseFile(const std::string& path, off_t size, char last) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (size > 0 && !file.seekp(size - 1).put(last).flush()) throw std::runtime_error("cannot make sparse " + path);
}

// The child reports whether it opened the file with one byte, then holds it
// until its end of the channel is closed.
ChildHoldingFile::ChildHoldingFile(const Path& path, DWORD access, DWORD share_mode) {
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0 || (child_ = fork()) < 0)
    throw std::runtime_error("cannot start a holding process");
  if (child_ == 0) {
    close(ends[0]);
    const HANDLE file = CreateFileW(path.c_str(), access, share_mode, nullptr, OPEN_EXISTING, 0, nullptr);
    const char opened = file != INVALID_HANDLE_VALUE ? '1' : '0';
    char ignored;
    if (write(ends[1], &opened, 1) == 1)
      while (read(ends[1], &ignored, 1) > 0) {
      }
    _exit(0);  // the file closes with the process
  }
  close(ends[1]);
  channel_ = ends[0];
  char opened = '0';
  opened_ = read(channel_, &opened, 1) == 1 && opened == '1';
}

ChildHoldingFile::~ChildHoldingFile() {
  close(channel_);
  waitpid(child_, nullptr, 0);
}

}  // namespace repng::testing
