// A fresh folder that is the working directory while the object lives, so
// tests can name files by short relative paths; removed with its content.
#pragma once

#include <filesystem>
#include <string>

namespace repng::testing {

class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};

void WriteFileBytes(const std::string& name, const std::string& content);
std::string ReadFileBytes(const std::string& name);

}  // namespace repng::testing
