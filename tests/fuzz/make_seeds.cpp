// Writes seed corpora for the fuzzers: for the decoders from the unit tests'
// fixture writers, <dir>/<format>/<name>, and every one also under <dir>/image
// for the whole-file targets; for the round trip, <dir>/roundtrip/<name>.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "codecs/bmp_writer.h"
#include "codecs/gif_writer.h"
#include "codecs/picture_variants.h"
#include "codecs/png_writer.h"

namespace {

using repng::test::Bytes;
namespace fs = std::filesystem;

void Save(const fs::path& root, const std::string& format, const std::string& name, const Bytes& bytes) {
  for (const std::string& folder : {format, std::string("image")}) {
    fs::create_directories(root / folder);
    std::ofstream out(root / folder / (format + "_" + name), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
}

Bytes Ramp(size_t count) {
  Bytes b;
  for (size_t i = 0; i < count; ++i) b.push_back(static_cast<uint8_t>(i * 37 + 11));
  return b;
}

// Bytes that do not repeat within a picture, so that palettes of hundreds
// of colours have as many distinct entries.
Bytes Noise(size_t count) {
  Bytes b;
  uint32_t state = 0x2545F491;
  for (size_t i = 0; i < count; ++i) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    b.push_back(static_cast<uint8_t>(state >> 24));
  }
  return b;
}

void PngSeeds(const fs::path& root) {
  using repng::test::PngSpec;
  const std::pair<uint8_t, uint8_t> variants[] = {{0, 1}, {0, 4}, {0, 8}, {2, 8}, {3, 2}, {3, 8}, {4, 8}, {6, 8}};
  for (const auto& [type, depth] : variants) {
    for (const bool interlaced : {false, true}) {
      PngSpec spec{.width = 7, .height = 5, .bit_depth = depth, .color_type = type, .interlaced = interlaced};
      const uint32_t channels = type == 2 ? 3 : type == 4 ? 2 : type == 6 ? 4 : 1;
      const uint32_t limit = type == 3 ? 4u : 1u << depth;
      for (uint32_t i = 0; i < 7 * 5 * channels; ++i) spec.samples.push_back(static_cast<uint16_t>(i * 5 % limit));
      if (type == 3) spec.palette = Ramp(3 * std::min(4u, 1u << depth));
      if (type == 0 || type == 2) spec.before_idat = {{"tRNS", Bytes(type == 0 ? 2 : 6, 1)}};
      if (type == 6) spec.after_idat = {{"eXIf", repng::test::MakeExifTiff(1)}};
      Save(root, "png", std::to_string(type) + "_" + std::to_string(depth) + (interlaced ? "_i" : ""),
           repng::test::MakePng(spec));
    }
  }
}

void BmpSeeds(const fs::path& root) {
  using repng::test::BmpSpec;
  const Bytes palette = Ramp(16);
  Save(root, "bmp", "pal8", MakeBmp(BmpSpec{.width = 3, .height = 2, .bpp = 8, .palette = palette, .colors_used = 4,
                                             .rows = {{0, 1, 2}, {3, 2, 1}}}));
  Save(root, "bmp", "pal1", MakeBmp(BmpSpec{.width = 9, .height = -1, .bpp = 1, .palette = Ramp(8), .rows = {{0xA5, 0x80}}}));
  Save(root, "bmp", "rgb24", MakeBmp(BmpSpec{.width = 2, .height = 2, .bpp = 24, .rows = {Ramp(6), Ramp(6)}}));
  Save(root, "bmp", "core", MakeBmp(BmpSpec{.header_size = 12, .width = 2, .height = 1, .bpp = 24, .rows = {Ramp(6)}}));
  Save(root, "bmp", "rgb555", MakeBmp(BmpSpec{.width = 2, .height = 1, .bpp = 16, .rows = {Ramp(4)}}));
  Save(root, "bmp", "argb32", MakeBmp(BmpSpec{.width = 2, .height = 1, .bpp = 32, .rows = {Ramp(8)}}));
  Save(root, "bmp", "v5", MakeBmp(BmpSpec{.header_size = 124, .width = 1, .height = -2, .bpp = 32, .compression = 3,
                                         .masks = {0xFF00, 0xFF0000, 0xFF000000, 0xFF}, .rows = {Ramp(4), Ramp(4)}}));
  Save(root, "bmp", "bitfields565", MakeBmp(BmpSpec{.width = 2, .height = 1, .bpp = 16, .compression = 3,
                                                   .masks = {0xF800, 0x07E0, 0x001F}, .rows = {Ramp(4)}}));
  Save(root, "bmp", "rle8", MakeBmp(BmpSpec{.width = 4, .height = 3, .bpp = 8, .compression = 1, .palette = palette,
                                           .colors_used = 4,
                                           .rows = {{1, 0, 0, 3, 1, 2, 1, 0, 0, 0, 0, 2, 1, 1, 1, 2, 0, 1}}}));
  Save(root, "bmp", "rle4", MakeBmp(BmpSpec{.width = 6, .height = 1, .bpp = 4, .compression = 2, .palette = palette,
                                           .colors_used = 4, .rows = {{3, 0x12, 0, 3, 0x30, 0x20, 0, 1}}}));
}

void GifSeeds(const fs::path& root) {
  const Bytes global = Ramp(12);
  Bytes framed = repng::test::GifHeader(4, 3, global);
  repng::test::AppendGifFrame(framed, {.left = 1, .top = 1, .width = 2, .height = 2, .indices = {0, 1, 2, 3},
                                       .transparent_index = 2});
  repng::test::EndGif(framed);
  Save(root, "gif", "framed", framed);
  Bytes interlaced = repng::test::GifHeader(2, 9, {});
  std::vector<uint8_t> indices;
  for (uint8_t i = 0; i < 18; ++i) indices.push_back(i % 4);
  repng::test::AppendGifFrame(interlaced, {.width = 2, .height = 9, .interlaced = true, .local_palette = global,
                                           .indices = indices});
  repng::test::EndGif(interlaced);
  Save(root, "gif", "interlaced", interlaced);
}

// Every format and colour variant of the decoders' tests, JPEG and TIFF too.
void VariantSeeds(const fs::path& root) {
  for (const auto& variant : repng::test::PictureVariants()) Save(root, variant.format, variant.name, variant.bytes);
}

// One bitmap of each kind the encoder reduces differently (see
// synthetic_bitmap.h for the layout).
void RoundTripSeeds(const fs::path& root) {
  struct Kind {
    const char* name;
    uint8_t width, height, shape;
  };
  const Kind kinds[] = {
      {"rgba", 32, 32, 0x00},       {"opaque", 32, 32, 0x01},        {"binary_alpha", 32, 32, 0x02},
      {"edge_alpha", 32, 32, 0x03}, {"gray_alpha", 32, 32, 0x04},    {"gray8", 12, 4, 0x05},
      {"gray1", 29, 2, 0x0D},       {"gray2", 6, 6, 0x15},           {"gray4", 10, 3, 0x1D},
      {"small_rgba", 7, 5, 0x00},   {"one_colour", 32, 32, 0x21},    {"two_colours", 20, 2, 0x42},
      {"four_colours", 8, 8, 0x63}, {"sixteen", 31, 1, 0x80},        {"full_palette", 24, 24, 0xC1},
      {"too_many", 32, 32, 0xE1},   {"gray_palette", 16, 16, 0x85},
  };
  for (const Kind& kind : kinds) {
    Bytes bytes = {static_cast<uint8_t>(kind.width - 1), static_cast<uint8_t>(kind.height - 1), kind.shape, 0};
    const Bytes body = Noise(4 * 257 + 4u * kind.width * kind.height);
    bytes.insert(bytes.end(), body.begin(), body.end());
    fs::create_directories(root / "roundtrip");
    std::ofstream out(root / "roundtrip" / kind.name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: fuzz_make_seeds <corpus folder>\n";
    return 2;
  }
  const fs::path root = argv[1];
  PngSeeds(root);
  BmpSeeds(root);
  GifSeeds(root);
  VariantSeeds(root);
  RoundTripSeeds(root);
  return 0;
}
