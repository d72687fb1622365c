#include "safety/batch_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string_view>

#include "codecs/bmp_writer.h"
#include "codecs/gif_writer.h"
#include "codecs/png_writer.h"

extern char** environ;

namespace repng::safety {
namespace {

using repng::test::Bytes;

std::string TextOf(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Smooth gradients with a little noise: the encoder's search has work to
// do, and the PNG form is smaller than a plain BMP.
uint8_t Channel(uint32_t x, uint32_t y, uint32_t variant, uint32_t channel) {
  const uint32_t noise = ((x * 7 + y * 13 + variant * 31) * 2654435761u) >> 29;
  return static_cast<uint8_t>((x * (channel + 1) * 4 + y * (3 - channel) * 3 + variant * 17 + noise) & 0xFF);
}

std::string MakePngPicture(uint32_t side, uint32_t variant) {
  repng::test::PngSpec spec{.width = side, .height = side};
  for (uint32_t i = 0; i < side * side * 4; ++i) {
    const uint32_t x = i / 4 % side, y = i / 4 / side;
    // Clear and half-transparent pixels: the premultiplied paths count.
    spec.samples.push_back(i % 4 < 3 ? Channel(x, y, variant, i % 4)
                                     : ((x + variant) % 5 == 0 ? 0 : (y % 3 == 0 ? 128 : 255)));
  }
  // A bulky text chunk that the program drops.
  Bytes text(4096, 'c');
  text[7] = 0;
  spec.after_idat.push_back({"tEXt", text});
  return TextOf(repng::test::MakePng(spec));
}

std::string MakeGifPicture(uint32_t side, uint32_t variant) {
  Bytes palette;
  for (uint32_t i = 0; i < 16 * 3; ++i) palette.push_back(static_cast<uint8_t>(i / 3 * 16 + i % 3 * 40 + variant));
  const auto edge = static_cast<uint16_t>(side);
  repng::test::GifFrame frame{.width = edge, .height = edge, .transparent_index = variant % 2 == 0 ? 3 : -1};
  for (uint32_t i = 0; i < side * side; ++i) frame.indices.push_back(static_cast<uint8_t>((i % side / 4 + i / side / 3 + variant) % 16));
  return TextOf(repng::test::MakeGif(edge, edge, palette, {frame}));
}

}  // namespace

bool IsBenchRun() {
  const char* level = std::getenv("REPNG_SAFETY_LEVEL");
  return level != nullptr && std::string_view(level) == "bench";
}

std::string MakeBmpPicture(uint32_t width, uint32_t height, uint32_t variant) {
  repng::test::BmpSpec spec{.width = int32_t(width), .height = int32_t(height), .bpp = 24};
  for (uint32_t y = 0; y < height; ++y) {
    Bytes& row = spec.rows.emplace_back();
    for (uint32_t i = 0; i < width * 3; ++i) row.push_back(Channel(i / 3, y, variant, i % 3));
  }
  return TextOf(repng::test::MakeBmp(spec));
}

Files MakeSampleBatch(size_t count, uint32_t side) {
  Files files;
  for (size_t i = 0; i < count; ++i) {
    char stem[24];
    std::snprintf(stem, sizeof stem, "%05zu", i);
    const auto variant = static_cast<uint32_t>(i % 13);
    switch (i % 5) {
      case 0: files[std::string(stem) + ".bmp"] = MakeBmpPicture(side, side, variant); break;
      case 1: files[std::string(stem) + ".png"] = MakePngPicture(side, variant); break;
      case 2: files[std::string(stem) + ".gif"] = MakeGifPicture(side, variant); break;
      case 3: files[std::string(stem) + ".png"] = MakePngPicture(side, variant).substr(0, side * side); break;
      default: files[std::string(stem) + ".txt"] = "not a picture " + std::to_string(i) + "\n"; break;
    }
  }
  return files;
}

void FillFolder(const ScratchFolder& folder, const Files& files) {
  for (const std::string& name : folder.Names()) std::filesystem::remove_all(folder.PathOf(name));
  for (const auto& [name, bytes] : files) testing::WriteBytes(folder.PathOf(name), bytes);
}

Batch BatchOnFolder(const char* program, const ScratchFolder& folder, const ScratchFolder& logs) {
  return {program, folder.Folder(), folder.Names(), logs.PathOf("run")};
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
  pid_t child = -1;
  const int error = posix_spawn(&child, batch.program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) throw std::runtime_error("cannot start " + batch.program);
  return child;
}

// The high-water mark of the program's own memory, read until it has exited
// and before it is reaped. Not the child's ru_maxrss: posix_spawn shares
// this process's memory until the exec, and the kernel carries that
// sharer's peak into the child's figure.
int WaitForBatch(pid_t child, long* peak_kib) {
  siginfo_t info{};
  while (peak_kib != nullptr && waitid(P_PID, id_t(child), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0) {
    std::ifstream status("/proc/" + std::to_string(child) + "/status");
    for (std::string line; std::getline(status, line);)
      if (line.starts_with("VmHWM:")) *peak_kib = std::max(*peak_kib, std::stol(line.substr(6)));
    usleep(2000);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0)
    if (errno != EINTR) throw std::runtime_error("waitpid failed");
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
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
