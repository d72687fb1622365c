#include "codecs/magick.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace repng::test {
namespace {

namespace fs = std::filesystem;

void WriteBytes(const fs::path& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Made on first use with the source picture in it, removed at exit.
const fs::path& ScratchFolder() {
  static const struct Folder {
    fs::path path;
    Folder() {
      std::string pattern = (fs::temp_directory_path() / "repng-magick-XXXXXX").string();
      if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
      path = pattern;
      Bytes source;
      const uint8_t alpha_levels[] = {255, 0, 128, 200, 1, 255, 64};
      for (uint32_t y = 0; y < 7; ++y)
        for (uint32_t x = 0; x < 9; ++x)
          source.insert(source.end(), {uint8_t(x * 29), uint8_t(y * 37), uint8_t(x * y * 13), alpha_levels[(x + y) % 7]});
      WriteBytes(path / "source.rgba", source);
    }
    ~Folder() { fs::remove_all(path); }
  } folder;
  return folder.path;
}

}  // namespace

Bytes Convert(const std::string& arguments, const std::string& output,
              const std::vector<std::pair<std::string, Bytes>>& inputs) {
  const fs::path& folder = ScratchFolder();
  for (const auto& [name, bytes] : inputs) WriteBytes(folder / name, bytes);
  const std::string command = "cd '" + folder.string() + "' && convert " + arguments + " " + output + " 2>/dev/null";
  if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
  std::ifstream in(folder / output.substr(output.find(':') + 1), std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

Bytes ReadWithMagick(const Bytes& file) { return Convert("input -depth 8", "rgba:input.rgba", {{"input", file}}); }

}  // namespace repng::test
