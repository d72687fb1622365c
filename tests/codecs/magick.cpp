#include "codecs/magick.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace repng::test {
namespace {

namespace fs = std::filesystem;

class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (fs::temp_directory_path() / "repng-magick-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
    path_ = pattern;
    Bytes source;
    const uint8_t alpha_levels[] = {255, 0, 128, 200, 1, 255, 64};
    for (uint32_t y = 0; y < 7; ++y) {
      for (uint32_t x = 0; x < 9; ++x) {
        source.insert(source.end(), {uint8_t(x * 29), uint8_t(y * 37), uint8_t(x * y * 13), alpha_levels[(x + y) % 7]});
      }
    }
    Write("source.rgba", source);
  }
  ~ScratchFolder() { fs::remove_all(path_); }

  void Write(const std::string& name, const Bytes& bytes) const {
    std::ofstream(path_ / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                        std::streamsize(bytes.size()));
  }
  Bytes Read(const std::string& name) const {
    std::ifstream in(path_ / name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  void Run(const std::string& arguments) const {
    const std::string command = "cd '" + path_.string() + "' && convert " + arguments + " 2>/dev/null";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: convert " + arguments);
  }

 private:
  fs::path path_;
};

const ScratchFolder& Scratch() {
  static const ScratchFolder folder;
  return folder;
}

}  // namespace

Bytes Convert(const std::string& arguments, const std::string& output,
              const std::vector<std::pair<std::string, Bytes>>& inputs) {
  for (const auto& [name, bytes] : inputs) Scratch().Write(name, bytes);
  Scratch().Run(arguments + " " + output);
  return Scratch().Read(output.substr(output.find(':') + 1));
}

Bytes ReadWithMagick(const Bytes& file) {
  return Convert("input -depth 8", "rgba:input.rgba", {{"input", file}});
}

}  // namespace repng::test
