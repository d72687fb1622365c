#include "kernel32/file_test_support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

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
  if (fd < 0) throw std::runtime_error("cannot create " + path);
  const bool complete = write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  const bool moded = fchmod(fd, mode) == 0;
  close(fd);
  if (!complete || !moded) throw std::runtime_error("cannot write " + path);
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void MakeSparseFile(const std::string& path, off_t size, char last) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const bool made = fd >= 0 && ftruncate(fd, size) == 0 && pwrite(fd, &last, 1, size - 1) == 1;
  if (fd >= 0) close(fd);
  if (!made) throw std::runtime_error("cannot make sparse " + path);
}

mode_t PermissionBitsOf(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) throw std::runtime_error("cannot stat " + path);
  return status.st_mode & 07777;
}

ChildHoldingFile::ChildHoldingFile(const Path& path, DWORD access, DWORD share_mode) {
  int ready[2];
  int release[2];
  if (pipe2(ready, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  if (pipe2(release, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  child_ = fork();
  if (child_ < 0) throw std::runtime_error("fork failed");
  if (child_ == 0) {
    close(ready[0]);
    close(release[1]);
    const HANDLE file = CreateFileW(path.c_str(), access, share_mode, nullptr, OPEN_EXISTING, 0, nullptr);
    const char opened = file != INVALID_HANDLE_VALUE ? '1' : '0';
    if (write(ready[1], &opened, 1) != 1) _exit(2);
    char ignored;
    while (read(release[0], &ignored, 1) > 0) {
    }
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    _exit(0);
  }
  close(ready[1]);
  close(release[0]);
  release_fd_ = release[1];
  char opened = '0';
  opened_ = read(ready[0], &opened, 1) == 1 && opened == '1';
  close(ready[0]);
}

ChildHoldingFile::~ChildHoldingFile() {
  close(release_fd_);
  int status = 0;
  waitpid(child_, &status, 0);
}

int RunInChild(const std::function<int()>& body) {
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) _exit(body());
  int status = 0;
  if (waitpid(child, &status, 0) != child) return -1;
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

}  // namespace repng::testing
