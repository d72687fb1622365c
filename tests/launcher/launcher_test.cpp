// The desktop launcher end to end: repng's report reaches the terminal as
// UTF-8, line by line, with repng's own bytes unchanged; repng keeps the
// terminal's input; and when repng cannot run or dies, the user is told and
// the window waits for a key.
#include <fcntl.h>
#include <sys/stat.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "kernel32/file_test_support.h"
#include "launcher/gbk_to_utf8.h"

extern char** environ;

namespace repng::launcher {
namespace {

using repng::testing::ReadBytes;
using repng::testing::ScratchFolder;
using repng::testing::WriteBytes;
using Clock = std::chrono::steady_clock;

// A program started in `folder` with pipes for its three standard streams.
class Process {
 public:
  Process(const std::string& program, const std::string& folder, const std::vector<std::string>& arguments,
      const std::vector<std::string>& environment = {}) {
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) throw std::bad_alloc();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    std::vector<char*> argv = {const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& variable : environment) envp.push_back(const_cast<char*>(variable.c_str()));
    envp.push_back(nullptr);
    const int error = posix_spawn(&child_, program.c_str(), &actions, nullptr, argv.data(),
                                  environment.empty() ? environ : envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    input_ = in[1];
    output_ = out[0];
    errors_ = err[0];
    if (error != 0) child_ = -1;
  }
  ~Process() {
    for (const int fd : {input_, output_, errors_})
      if (fd >= 0) close(fd);
    if (child_ > 0) {
      kill(child_, SIGKILL);
      Wait();
    }
  }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  bool Running() const { return child_ > 0; }
  void Type(const std::string& keys) const { ASSERT_EQ(write(input_, keys.data(), keys.size()), ssize_t(keys.size())); }
  void CloseInput() {
    close(input_);
    input_ = -1;
  }
  // Reads standard output and errors until `wanted` is in one of them, the
  // program closes both, or `seconds` pass.
  bool ReadUntil(const std::string& wanted, int seconds = 20) {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(seconds);
    while (output.find(wanted) == std::string::npos && errors.find(wanted) == std::string::npos) {
      if (output_ < 0 && errors_ < 0) return false;
      pollfd fds[2] = {{output_, POLLIN, 0}, {errors_, POLLIN, 0}};
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0 || poll(fds, 2, int(left)) <= 0) return false;
      ReadSome(fds[0], output_, output);
      ReadSome(fds[1], errors_, errors);
    }
    return true;
  }
  // A whole batch, slow under the sanitizers on a loaded machine.
  void ReadToEnd() { ReadUntil(std::string("\0never", 6), 240); }
  // Still running after `milliseconds`?
  bool StillRunningAfter(int milliseconds) const {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    siginfo_t info{};
    return waitid(P_PID, id_t(child_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
  }
  // The exit status, or 128 + signal.
  int Wait() {
    int status = 0;
    while (waitpid(child_, &status, 0) < 0)
      if (errno != EINTR) return -1;
    child_ = -1;
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
  }
  pid_t Child() const { return child_; }

  std::string output;
  std::string errors;

 private:
  static void ReadSome(const pollfd& polled, int& fd, std::string& into) {
    if (fd < 0 || polled.revents == 0) return;
    char buffer[4096];
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got > 0) {
      into.append(buffer, size_t(got));
    } else if (got == 0 || errno != EINTR) {
      close(fd);
      fd = -1;
    }
  }

  pid_t child_ = -1;
  int input_ = -1;
  int output_ = -1;
  int errors_ = -1;
};

std::string Utf8Of(const std::string& gbk) {
  GbkToUtf8 converter;
  return converter.Convert(gbk) + converter.Finish();
}

// The launcher copied into `folder`, with a stand-in for repng beside it
// when `script` is given.
std::string LauncherIn(const ScratchFolder& folder, const std::string& script = "") {
  const std::string launcher = folder.PathOf("repng-gbk-view");
  std::filesystem::copy_file(REPNG_LAUNCHER, launcher);
  if (!script.empty()) WriteBytes(folder.PathOf("repng"), "#!/bin/sh\n" + script, 0755);
  return launcher;
}

TEST(Launcher, ShowsTheReportOfTheProgramBesideItAsUtf8) {
  // The same files under the same names in two folders: one for repng
  // alone, one for the launcher, which runs the repng built beside it.
  ScratchFolder alone, launched;
  const std::vector<std::string> names = {"风景.bmp", "glow.png", "notes.txt"};
  for (const ScratchFolder* folder : {&alone, &launched}) {
    WriteBytes(folder->PathOf(names[0]), ReadBytes(REPNG_SAMPLES_DIR "/landscape.bmp"));
    WriteBytes(folder->PathOf(names[1]), ReadBytes(REPNG_SAMPLES_DIR "/glow.png"));
    WriteBytes(folder->PathOf(names[2]), "\xFF not a picture");
  }
  Process repng(REPNG_PROGRAM, alone.Folder(), names);
  Process launcher(REPNG_LAUNCHER, launched.Folder(), names);
  ASSERT_TRUE(repng.Running() && launcher.Running());
  repng.CloseInput();
  launcher.CloseInput();
  repng.ReadToEnd();
  launcher.ReadToEnd();
  EXPECT_EQ(repng.Wait(), 0);
  EXPECT_EQ(launcher.Wait(), 0);
  ASSERT_NE(repng.output.find("\xA3\xAC\xD0\xC2\xB4\xF3\xD0\xA1"), std::string::npos);  // ，新大小
  EXPECT_EQ(launcher.output, Utf8Of(repng.output));
  EXPECT_NE(launcher.output.find("风景.bmp，原大小：187.55K，新大小："), std::string::npos);
  EXPECT_EQ(launcher.errors, "");
  // Without files: repng's usage, and its status.
  Process usage(REPNG_LAUNCHER, launched.Folder(), {});
  usage.CloseInput();
  usage.ReadToEnd();
  EXPECT_EQ(usage.Wait(), 255);
  EXPECT_NE(usage.output.find("用法"), std::string::npos);
}

// A line is shown while repng still works on the next file; repng reads the
// launcher's input; Ctrl+C is for repng, not for the launcher.
TEST(Launcher, EachLineShowsAsSoonAsItEnds) {
  ScratchFolder folder;
  const std::string launcher = LauncherIn(folder,
                                          "printf 'a.bmp\\243\\254\\262\\273\\264\\246\\300\\355\\241\\243\\r\\n'\n"
                                          "read -r answer\n"
                                          "printf '%s\\r\\n' \"$answer\"\n"
                                          "exit 3\n");
  Process run(launcher, folder.Folder(), {"a.bmp"});
  ASSERT_TRUE(run.Running());
  ASSERT_TRUE(run.ReadUntil("a.bmp，不处理。\r\n")) << run.output << run.errors;
  kill(run.Child(), SIGINT);
  EXPECT_TRUE(run.StillRunningAfter(100));
  run.Type("go on\n");
  run.ReadToEnd();
  EXPECT_EQ(run.output, "a.bmp，不处理。\r\ngo on\r\n");
  EXPECT_EQ(run.Wait(), 3);  // repng's own status
}

// Whatever ends repng early, the user reads why before the window closes.
TEST(Launcher, AProgramThatDiesOrCannotStartIsReportedAndTheWindowWaits) {
  struct Case {
    const char* script;  // null: no repng anywhere
    const char* said;
    int status;
  } const cases[] = {
      {"printf 'one\\r\\n'\nkill -SEGV $$\n", "repng 意外终止（信号 11）。", 128 + SIGSEGV},
      {"kill -INT $$\n", "repng 意外终止（信号 2）。", 128 + SIGINT},
      {nullptr, "无法启动 repng。", 127},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.said);
    ScratchFolder folder;
    const std::string launcher = LauncherIn(folder, c.script != nullptr ? c.script : "");
    ASSERT_EQ(mkdir(folder.PathOf("empty").c_str(), 0755), 0);
    Process run(launcher, folder.Folder(), {"a.bmp"}, {"PATH=" + folder.PathOf("empty")});
    ASSERT_TRUE(run.Running());
    ASSERT_TRUE(run.ReadUntil("请按任意键继续. . .")) << run.output << run.errors;
    EXPECT_NE(run.errors.find(c.said), std::string::npos) << run.errors;
    EXPECT_TRUE(run.StillRunningAfter(200));  // waiting for the key
    run.Type("k");
    run.ReadToEnd();
    EXPECT_EQ(run.Wait(), c.status);
  }
}

}  // namespace
}  // namespace repng::launcher
