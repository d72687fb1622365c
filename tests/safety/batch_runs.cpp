#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
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

namespace {

// The high-water mark of the program's own memory. Not the child's
// ru_maxrss: posix_spawn shares this process's memory until the exec, and
// the kernel carries that sharer's peak into the child's figure.
long ProgramPeakKib(pid_t child) {
  std::FILE* status = std::fopen(("/proc/" + std::to_string(child) + "/status").c_str(), "r");
  if (status == nullptr) return 0;
  long peak = 0;
  char line[256];
  while (std::fgets(line, sizeof line, status) != nullptr)
    if (std::sscanf(line, "VmHWM: %ld kB", &peak) == 1) break;
  std::fclose(status);
  return peak;
}

}  // namespace

int WaitForBatch(pid_t child, long* peak_kib) {
  if (peak_kib != nullptr) {
    // Read the mark until the program has exited, before it is reaped.
    siginfo_t info{};
    while (waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0) {
      if (const long peak = ProgramPeakKib(child); peak > *peak_kib) *peak_kib = peak;
      usleep(2000);
    }
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0)
    if (errno != EINTR) throw std::runtime_error("waitpid failed");
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
