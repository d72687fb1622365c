#include "safety/child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

extern char** environ;

namespace repng::safety {
namespace {

// A program that fails to start would hang no test, but would make every
// check pass vacuously: starting must work or throw.
class SpawnActions {
 public:
  SpawnActions() { posix_spawn_file_actions_init(&actions_); }
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
  posix_spawn_file_actions_t* Get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

}  // namespace

pid_t StartChild(const ChildSpec& spec) {
  SpawnActions actions;
  posix_spawn_file_actions_addclose(actions.Get(), STDIN_FILENO);
  const std::string out = spec.stdout_path.empty() ? "/dev/null" : spec.stdout_path;
  const std::string err = spec.stderr_path.empty() ? "/dev/null" : spec.stderr_path;
  posix_spawn_file_actions_addopen(actions.Get(), STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(actions.Get(), STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (!spec.working_folder.empty()) posix_spawn_file_actions_addchdir_np(actions.Get(), spec.working_folder.c_str());

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(spec.program.c_str()));
  for (const std::string& argument : spec.arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  // The extra entries come first: the first of two equal names counts.
  std::vector<char*> envp;
  for (const std::string& entry : spec.extra_environment) envp.push_back(const_cast<char*>(entry.c_str()));
  for (char** entry = environ; *entry != nullptr; ++entry) envp.push_back(*entry);
  envp.push_back(nullptr);

  pid_t child = -1;
  const int error = posix_spawn(&child, spec.program.c_str(), actions.Get(), nullptr, argv.data(), envp.data());
  if (error != 0) throw std::runtime_error("cannot start " + spec.program);
  return child;
}

int WaitForChild(pid_t child, long* peak_kib) {
  int status = 0;
  struct rusage usage {};
  while (wait4(child, &status, 0, &usage) < 0)
    if (errno != EINTR) throw std::runtime_error("wait4 failed");
  if (peak_kib != nullptr) *peak_kib = usage.ru_maxrss;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace repng::safety
