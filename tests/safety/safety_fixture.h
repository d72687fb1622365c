// A scratch folder for a batch, and the program's report lines about it.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "safety/sample_files.h"

namespace repng::safety {

// A fresh folder, removed with everything in it afterwards.
class BatchFolder {
 public:
  BatchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "repng-safety-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~BatchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  BatchFolder(const BatchFolder&) = delete;
  BatchFolder& operator=(const BatchFolder&) = delete;

  const std::string& Path() const { return path_; }
  std::string PathOf(const std::string& name) const { return path_ + "/" + name; }

  // Empties the folder and puts the files in it.
  void Fill(const std::vector<SampleFile>& files) const {
    for (const auto& entry : std::filesystem::directory_iterator(path_)) std::filesystem::remove_all(entry.path());
    WriteSampleFiles(path_, files);
  }

 private:
  std::string path_;
};

inline std::vector<std::string> NamesOf(const std::vector<SampleFile>& files) {
  std::vector<std::string> names;
  for (const SampleFile& file : files) names.push_back(file.name);
  return names;
}

inline std::set<std::string> NameSetOf(const std::vector<SampleFile>& files) {
  const std::vector<std::string> names = NamesOf(files);
  return std::set<std::string>(names.begin(), names.end());
}

}  // namespace repng::safety
