#include "child_process.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace repng::testing {

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments, StandardInput input,
                      bool detect_leaks) {
  std::vector<std::string> argument_copies{program};
  argument_copies.insert(argument_copies.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : argument_copies) argv.push_back(argument.data());
  argv.push_back(nullptr);

  ProgramRun run;
  int pipe_ends[2];
  if (pipe(pipe_ends) != 0) return run;
  const pid_t child = fork();
  if (child == 0) {
    dup2(pipe_ends[1], STDOUT_FILENO);
    close(pipe_ends[0]);
    close(pipe_ends[1]);
    close(STDIN_FILENO);
    if (input == StandardInput::kAtEndOfInput) open("/dev/null", O_RDONLY);  // takes descriptor 0
    // A processor fault abandons frames whose memory then looks leaked.
    if (!detect_leaks) setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(pipe_ends[1]);
  if (child < 0) {
    close(pipe_ends[0]);
    return run;
  }
  char chunk[4096];
  for (;;) {
    const ssize_t got = read(pipe_ends[0], chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    run.output.append(chunk, static_cast<std::size_t>(got));
  }
  close(pipe_ends[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) run.exit_status = WEXITSTATUS(status);
  return run;
}

}  // namespace repng::testing
