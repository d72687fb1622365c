#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

#include "safety/batch_support.h"

extern char** environ;

namespace repng::safety {

bool IsBenchRun() {
  const char* level = std::getenv("REPNG_SAFETY_LEVEL");
  return level != nullptr && std::string_view(level) == "bench";
}

// A program that fails to start would make every check pass vacuously:
// starting works or throws.
pid_t StartBatch(const Batch& batch) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclose(&actions, STDIN_FILENO);
  const std::string errors = batch.log + ".err";
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, batch.log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addchdir_np(&actions, batch.folder.c_str());
  std::vector<char*> argv = {const_cast<char*>(batch.program.c_str())};
  for (const std::string& name : batch.names) argv.push_back(const_cast<char*>(name.c_str()));
  argv.push_back(nullptr);
  // The first of two equal names counts.
  std::vector<char*> envp;
  if (!batch.environment.empty()) envp.push_back(const_cast<char*>(batch.environment.c_str()));
  for (char** entry = environ; *entry != nullptr; ++entry) envp.push_back(*entry);
  envp.push_back(nullptr);
  pid_t child = -1;
  const int error = posix_spawn(&child, batch.program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) throw std::runtime_error("cannot start " + batch.program);
  return child;
}

int WaitForBatch(pid_t child, long* peak_kib) {
  int status = 0;
  struct rusage usage {};
  while (wait4(child, &status, 0, &usage) < 0)
    if (errno != EINTR) throw std::runtime_error("wait4 failed");
  if (peak_kib != nullptr) *peak_kib = usage.ru_maxrss;
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

BatchRun RunBatch(const Batch& batch) {
  BatchRun run;
  run.exit_status = WaitForBatch(StartBatch(batch));
  run.output = testing::ReadBytes(batch.log);
  run.errors = testing::ReadBytes(batch.log + ".err");
  return run;
}

void RecordTally(const std::string& part, const Tally& tally) {
  const char* path = std::getenv("REPNG_SAFETY_TALLY");
  if (path == nullptr || *path == '\0') return;
  if (std::FILE* file = std::fopen(path, "a")) {
    std::fprintf(file, "%s inputs=%zu faults=%zu kills=%zu files=%zu damaged=%zu\n", part.c_str(), tally.inputs,
                 tally.faults, tally.kills, tally.files_checked, tally.damaged);
    std::fclose(file);
  }
}

}  // namespace repng::safety
