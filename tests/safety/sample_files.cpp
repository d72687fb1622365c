#include "safety/sample_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

#include "codecs/bmp_writer.h"
#include "codecs/gif_writer.h"
#include "codecs/png_writer.h"

namespace repng::safety {
namespace {

using repng::test::Bytes;

std::string TextOf(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Smooth gradients with a little noise, so that the search of the encoder
// has work to do and the PNG form is smaller than a plain BMP.
uint8_t Channel(uint32_t x, uint32_t y, uint32_t variant, uint32_t channel) {
  const uint32_t noise = ((x * 7 + y * 13 + variant * 31) * 2654435761u) >> 29;
  return static_cast<uint8_t>((x * (channel + 1) * 4 + y * (3 - channel) * 3 + variant * 17 + noise) & 0xFF);
}

std::string MakePngPicture(uint32_t side, uint32_t variant) {
  repng::test::PngSpec spec;
  spec.width = side;
  spec.height = side;
  spec.color_type = 6;
  for (uint32_t y = 0; y < side; ++y)
    for (uint32_t x = 0; x < side; ++x) {
      for (uint32_t c = 0; c < 3; ++c) spec.samples.push_back(Channel(x, y, variant, c));
      // Some pixels half transparent, some fully: premultiplied paths count.
      spec.samples.push_back(static_cast<uint16_t>((x + variant) % 5 == 0 ? 0 : (y % 3 == 0 ? 128 : 255)));
    }
  // A bulky text chunk that the program drops, so the file gets smaller.
  spec.after_idat.push_back({"tEXt", Bytes(4096, 'c')});
  spec.after_idat.back().second[7] = 0;
  return TextOf(repng::test::MakePng(spec));
}

std::string MakeGifPicture(uint32_t side, uint32_t variant) {
  Bytes palette;
  for (uint32_t i = 0; i < 16; ++i)
    for (uint32_t c = 0; c < 3; ++c) palette.push_back(static_cast<uint8_t>(i * 16 + c * 40 + variant));
  Bytes gif = repng::test::GifHeader(static_cast<uint16_t>(side), static_cast<uint16_t>(side), palette);
  repng::test::GifFrame frame;
  frame.width = static_cast<uint16_t>(side);
  frame.height = static_cast<uint16_t>(side);
  frame.transparent_index = variant % 2 == 0 ? 3 : -1;
  for (uint32_t y = 0; y < side; ++y)
    for (uint32_t x = 0; x < side; ++x) frame.indices.push_back(static_cast<uint8_t>((x / 4 + y / 3 + variant) % 16));
  repng::test::AppendGifFrame(gif, frame);
  repng::test::EndGif(gif);
  return TextOf(gif);
}

}  // namespace

std::string MakeBmpPicture(uint32_t width, uint32_t height, uint32_t variant) {
  repng::test::BmpSpec spec;
  spec.width = static_cast<int32_t>(width);
  spec.height = static_cast<int32_t>(height);
  spec.bpp = 24;
  for (uint32_t y = 0; y < height; ++y) {
    Bytes row;
    row.reserve(width * 3);
    for (uint32_t x = 0; x < width; ++x)
      for (uint32_t c = 0; c < 3; ++c) row.push_back(Channel(x, y, variant, c));
    spec.rows.push_back(std::move(row));
  }
  return TextOf(repng::test::MakeBmp(spec));
}

std::vector<SampleFile> MakeSampleBatch(size_t count, uint32_t side) {
  std::vector<SampleFile> files;
  files.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    char stem[32];
    std::snprintf(stem, sizeof stem, "%05zu", i);
    const auto variant = static_cast<uint32_t>(i % 13);
    switch (i % 5) {
      case 0:
        files.push_back({std::string(stem) + ".bmp", MakeBmpPicture(side, side, variant)});
        break;
      case 1:
        files.push_back({std::string(stem) + ".png", MakePngPicture(side, variant)});
        break;
      case 2:
        files.push_back({std::string(stem) + ".gif", MakeGifPicture(side, variant)});
        break;
      case 3: {
        // Cut off halfway: recognised, refused as damaged.
        std::string damaged = MakePngPicture(side, variant);
        damaged.resize(damaged.size() / 2);
        files.push_back({std::string(stem) + ".png", damaged});
        break;
      }
      default:
        files.push_back({std::string(stem) + ".txt", "not a picture " + std::to_string(i) + "\n"});
        break;
    }
  }
  return files;
}

void WriteSampleFiles(const std::string& folder, const std::vector<SampleFile>& files) {
  for (const SampleFile& file : files) {
    const std::string path = folder + "/" + file.name;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const bool written =
        fd >= 0 && write(fd, file.bytes.data(), file.bytes.size()) == static_cast<ssize_t>(file.bytes.size());
    if (fd >= 0) close(fd);
    if (!written) throw std::runtime_error("cannot write " + path);
  }
}

}  // namespace repng::safety
