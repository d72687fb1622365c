#include <filesystem>

#include "codecs/bmp_writer.h"
#include "codecs/gif_writer.h"
#include "codecs/png_writer.h"
#include "safety/batch_support.h"

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
  for (uint32_t y = 0; y < side; ++y)
    for (uint32_t x = 0; x < side; ++x) {
      for (uint32_t c = 0; c < 3; ++c) spec.samples.push_back(Channel(x, y, variant, c));
      // Clear and half-transparent pixels: the premultiplied paths count.
      spec.samples.push_back(static_cast<uint16_t>((x + variant) % 5 == 0 ? 0 : (y % 3 == 0 ? 128 : 255)));
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
  Bytes gif = repng::test::GifHeader(edge, edge, palette);
  repng::test::GifFrame frame{.width = edge, .height = edge, .transparent_index = variant % 2 == 0 ? 3 : -1};
  for (uint32_t i = 0; i < side * side; ++i) frame.indices.push_back(static_cast<uint8_t>((i % side / 4 + i / side / 3 + variant) % 16));
  repng::test::AppendGifFrame(gif, frame);
  repng::test::EndGif(gif);
  return TextOf(gif);
}

}  // namespace

std::string MakeBmpPicture(uint32_t width, uint32_t height, uint32_t variant) {
  repng::test::BmpSpec spec{.width = int32_t(width), .height = int32_t(height), .bpp = 24};
  for (uint32_t y = 0; y < height; ++y) {
    Bytes& row = spec.rows.emplace_back();
    for (uint32_t i = 0; i < width * 3; ++i) row.push_back(Channel(i / 3, y, variant, i % 3));
  }
  return TextOf(repng::test::MakeBmp(spec));
}

std::vector<SampleFile> MakeSampleBatch(size_t count, uint32_t side) {
  std::vector<SampleFile> files;
  for (size_t i = 0; i < count; ++i) {
    char stem[24];
    std::snprintf(stem, sizeof stem, "%05zu", i);
    const auto variant = static_cast<uint32_t>(i % 13);
    switch (i % 5) {
      case 0: files.push_back({std::string(stem) + ".bmp", MakeBmpPicture(side, side, variant)}); break;
      case 1: files.push_back({std::string(stem) + ".png", MakePngPicture(side, variant)}); break;
      case 2: files.push_back({std::string(stem) + ".gif", MakeGifPicture(side, variant)}); break;
      case 3: {
        const std::string whole = MakePngPicture(side, variant);
        files.push_back({std::string(stem) + ".png", whole.substr(0, whole.size() / 2)});
        break;
      }
      default: files.push_back({std::string(stem) + ".txt", "not a picture " + std::to_string(i) + "\n"}); break;
    }
  }
  return files;
}

void FillFolder(const ScratchFolder& folder, const std::vector<SampleFile>& files) {
  for (const auto& entry : std::filesystem::directory_iterator(folder.Folder())) std::filesystem::remove_all(entry);
  for (const SampleFile& file : files) testing::WriteBytes(folder.PathOf(file.name), file.bytes);
}

std::vector<std::string> NamesOf(const std::vector<SampleFile>& files) {
  std::vector<std::string> names;
  for (const SampleFile& file : files) names.push_back(file.name);
  return names;
}

}  // namespace repng::safety
