// repng-gbk-view FILES...: runs repng on the files with its report shown as
// UTF-8, for the desktop's terminals. repng's own bytes stay code page 936
// with CRLF; this program converts them on their way to the terminal, each
// piece as soon as it arrives. repng keeps the terminal as its standard
// input, so its pause reads the key itself. Whatever goes wrong here, the
// user is told and the window waits for a key before it closes.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "launcher/gbk_to_utf8.h"
#include "platform/posix/console/wait_for_key.h"

extern char** environ;

namespace {

using repng::launcher::GbkToUtf8;

constexpr char kProgramName[] = "repng";

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = write(fd, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    text.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

// A message of our own, on the terminal, then the pause: without it the
// window would close before the message could be read.
void ComplainAndPause(const std::string& message) {
  WriteAll(STDERR_FILENO, message);
  WriteAll(STDERR_FILENO, "请按任意键继续. . .");
  repng::runtime::WaitForOneKey();
  WriteAll(STDERR_FILENO, "\n");
}

// repng from the folder this program was installed in, so that the two
// always match; the search path only when it is not there.
std::string ProgramBeside() {
  std::vector<char> self(4096);
  const ssize_t length = readlink("/proc/self/exe", self.data(), self.size() - 1);
  if (length <= 0) return {};
  std::string path(self.data(), static_cast<size_t>(length));
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  path.resize(slash + 1);
  path += kProgramName;
  return access(path.c_str(), X_OK) == 0 ? path : std::string();
}

// Started with its standard output into `output`; its standard input and
// errors stay the terminal's. Interrupt and quit keep their default there,
// so Ctrl+C stops repng, not us. An error number, or 0.
int StartProgram(char** files, int output, pid_t* child) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGQUIT);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> argv = {const_cast<char*>(kProgramName)};
  for (char** file = files; *file != nullptr; ++file) argv.push_back(*file);
  argv.push_back(nullptr);
  const std::string beside = ProgramBeside();
  const int error = beside.empty()
                        ? posix_spawnp(child, kProgramName, &actions, &attributes, argv.data(), environ)
                        : posix_spawn(child, beside.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return error;
}

// Everything repng writes, converted, until it closes its output. A
// terminal that has gone does not stop the reading: repng is not to block
// on a full pipe.
void ShowOutput(int input, GbkToUtf8& converter) {
  bool showing = true;
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(input, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    const std::string text = converter.Convert(std::string_view(buffer, static_cast<size_t>(got)));
    showing = showing && WriteAll(STDOUT_FILENO, text);
  }
  if (showing) WriteAll(STDOUT_FILENO, converter.Finish());
}

std::string CannotStart(int error) {
  return std::string("无法启动 repng。\nrepng could not be started: ") + std::strerror(error) + "\n";
}

int WaitForProgram(pid_t child) {
  int status = 0;
  while (waitpid(child, &status, 0) < 0)
    if (errno != EINTR) return -1;
  return status;
}

std::string Describe(int status) {
  char text[256];
  if (status == -1) {
    std::snprintf(text, sizeof text, "\nrepng 的结束状态未知。\nrepng's end could not be seen (%s).\n",
                  std::strerror(errno));
  } else {
    const int signal_number = WTERMSIG(status);
    std::snprintf(text, sizeof text, "\nrepng 意外终止（信号 %d）。\nrepng was stopped by signal %d (%s).\n",
                  signal_number, signal_number, strsignal(signal_number));
  }
  return text;
}

}  // namespace

int main(int /*argc*/, char* argv[]) {
  GbkToUtf8 converter;
  if (!converter.IsOpen())
    WriteAll(STDERR_FILENO,
             "无法转换 GBK 文本，以下为原样输出。\nThe system cannot convert GBK text; repng's report follows "
             "unconverted.\n");

  int pipe_ends[2];
  if (pipe2(pipe_ends, O_CLOEXEC) != 0) {
    ComplainAndPause(CannotStart(errno));
    return 127;
  }
  // Ctrl+C is for repng; this program stays to say how it ended.
  signal(SIGINT, SIG_IGN);
  signal(SIGQUIT, SIG_IGN);
  signal(SIGPIPE, SIG_IGN);
  pid_t child = -1;
  const int error = StartProgram(argv + 1, pipe_ends[1], &child);
  close(pipe_ends[1]);
  if (error != 0) {
    close(pipe_ends[0]);
    ComplainAndPause(CannotStart(error));
    return 127;
  }
  ShowOutput(pipe_ends[0], converter);
  close(pipe_ends[0]);

  const int status = WaitForProgram(child);
  if (status != -1 && WIFEXITED(status)) return WEXITSTATUS(status);
  ComplainAndPause(Describe(status));
  return status == -1 ? 127 : 128 + WTERMSIG(status);
}
