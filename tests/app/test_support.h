// Helpers of the program tests: a scratch working folder, whole-file access
// and child programs.
#pragma once

#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace repng::testing {

inline void WriteFileBytes(const std::string& name, const std::string& content) {
  std::ofstream(name, std::ios::binary) << content;
}

inline std::string ReadFileBytes(const std::string& name) {
  std::ifstream file(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

// A fresh folder that is the working directory while the object lives, so
// files have short relative names; removed with its content afterwards.
class ScratchFolder {
 public:
  ScratchFolder() : previous_(std::filesystem::current_path()) {
    std::string pattern = (std::filesystem::temp_directory_path() / "repng-test-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
    std::filesystem::current_path(path_);
  }
  ~ScratchFolder() {
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(path_);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};

struct ProgramRun {
  int exit_status = -1;
  std::string output;
};

// Runs a program through the shell with the given redirections appended
// (standard input is never a terminal) and collects its standard output.
inline ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                             const std::string& redirections) {
  std::string command = program;
  for (const std::string& argument : arguments) {
    command += " '";
    for (char c : argument) command += c == '\'' ? std::string("'\\''") : std::string(1, c);
    command += "'";
  }
  ProgramRun run;
  std::FILE* pipe = popen((command + " " + redirections).c_str(), "r");
  char chunk[4096];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) run.output.append(chunk, got);
  const int status = pclose(pipe);
  if (WIFEXITED(status)) run.exit_status = WEXITSTATUS(status);
  return run;
}

}  // namespace repng::testing
