#include "codecs/picture_variants.h"

#include <algorithm>

#include "codecs/bmp_writer.h"
#include "codecs/gif_writer.h"
#include "codecs/magick.h"
#include "codecs/png_writer.h"

namespace repng::test {
namespace {

// A 5 x 3 picture whose samples walk through the range of the type and
// depth, with a tRNS chunk when one is given.
Bytes PngWalk(uint8_t color_type, uint8_t depth, Bytes trns = {}) {
  PngSpec spec{.width = 5, .height = 3, .bit_depth = depth, .color_type = color_type};
  const uint32_t channels = color_type == 2 ? 3 : color_type == 4 ? 2 : color_type == 6 ? 4 : 1;
  const uint32_t limit = color_type == 3 ? std::min(4u, 1u << depth) : 1u << depth;
  for (uint32_t i = 0; i < 5 * 3 * channels; ++i) spec.samples.push_back(uint16_t((i * 7 + 3) % limit));
  static constexpr uint8_t kPalette[] = {10, 20, 30, 40, 50, 60, 70, 80, 90, 200, 210, 220};
  if (color_type == 3) spec.palette.assign(kPalette, kPalette + 3 * limit);
  if (!trns.empty()) spec.before_idat = {{"tRNS", std::move(trns)}};
  return MakePng(spec);
}

void AddPngVariants(std::vector<PictureVariant>& out) {
  const std::pair<uint8_t, uint8_t> kinds[] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {2, 8}, {3, 1},
                                               {3, 2}, {3, 4}, {3, 8}, {4, 8}, {6, 8}};
  for (const auto& [type, depth] : kinds)
    out.push_back({"png", "type" + std::to_string(type) + "_depth" + std::to_string(depth), PngWalk(type, depth)});
  out.push_back({"png", "palette_trns", PngWalk(3, 8, {0, 128})});
  out.push_back({"png", "gray_trns", PngWalk(0, 8, {0, 3})});
  out.push_back({"png", "rgb_trns", PngWalk(2, 8, {0, 3, 0, 10, 0, 17})});
}

// What convert cannot write: RLE4, top-down rows, a core header with a
// palette, 16 bits without masks, 32 bits with alpha, the V4 header, and a
// GIF frame with its own palette.
void AddHandMadeVariants(std::vector<PictureVariant>& out) {
  const Bytes palette = {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 9, 8, 7, 0};
  Bytes core_palette(256 * 3, 0);
  for (size_t i = 0; i < core_palette.size(); ++i) core_palette[i] = uint8_t(i * 7);
  const std::pair<const char*, BmpSpec> bmps[] = {
      {"rle4", {.width = 6, .height = 1, .bpp = 4, .compression = 2, .palette = palette, .colors_used = 4,
                .rows = {{6, 0x12, 0, 0, 0, 1}}}},
      {"top_down4", {.width = 3, .height = -2, .bpp = 4, .palette = palette, .colors_used = 4,
                     .rows = {{0x32, 0x10}, {0x01, 0x20}}}},
      {"core_palette", {.header_size = 12, .width = 3, .height = 1, .bpp = 8, .palette = core_palette,
                        .rows = {{1, 0, 200}}}},
      {"rgb555", {.width = 2, .height = 1, .bpp = 16, .rows = {{0x00, 0x7C, 0x1F, 0x42}}}},
      {"argb32", {.width = 2, .height = 1, .bpp = 32, .rows = {{1, 2, 3, 0, 4, 5, 6, 0x80}}}},
      {"v4", {.header_size = 108, .width = 2, .height = 1, .rows = {{1, 2, 3, 4, 5, 6}}}},
      {"v5_argb", {.header_size = 124, .width = 1, .height = -2, .bpp = 32, .compression = 3,
                   .masks = {0xFF00, 0xFF0000, 0xFF000000, 0xFF}, .rows = {{0x40, 1, 2, 3}, {0xFF, 4, 5, 6}}}},
  };
  for (const auto& [name, spec] : bmps) out.push_back({"bmp", name, MakeBmp(spec)});

  out.push_back({"gif", "local_palette",
                 MakeGif(2, 2, {255, 0, 0, 0, 255, 0},
                         {{.width = 2, .height = 2, .local_palette = {1, 1, 1, 2, 2, 2}, .indices = {0, 1, 1, 0}}})});
}

void AddMagickVariants(std::vector<PictureVariant>& out) {
  // Format, name, convert's options, output.
  static constexpr const char* kRecipes[][4] = {
      {"png", "interlaced_rgba", "-interlace PNG -define png:color-type=6", "PNG:a.png"},
      {"png", "interlaced_gray2", "-alpha off -colorspace Gray -depth 2 -interlace PNG", "PNG:a.png"},
      {"jpeg", "baseline", "-alpha off", "JPG:a.jpg"},
      {"jpeg", "progressive", "-alpha off -interlace JPEG", "JPG:a.jpg"},
      {"jpeg", "gray", "-alpha off -colorspace Gray", "JPG:a.jpg"},
      {"jpeg", "cmyk", "-alpha off -colorspace CMYK", "JPG:a.jpg"},
      {"gif", "transparent", "", "GIF:a.gif"},
      {"gif", "interlaced", "-interlace GIF", "GIF:a.gif"},
      {"tiff", "plain", "-alpha off -compress None", "TIFF:a.tif"},
      {"tiff", "lzw", "-alpha off -compress LZW", "TIFF:a.tif"},
      {"tiff", "gray", "-alpha off -colorspace Gray", "TIFF:a.tif"},
      {"tiff", "bilevel", "-alpha off -monochrome", "TIFF:a.tif"},
      {"tiff", "fax_min_is_white", "-alpha off -monochrome -compress Group4", "TIFF:a.tif"},
      {"tiff", "palette", "-alpha off -type Palette", "TIFF:a.tif"},
      {"tiff", "straight_alpha", "-define tiff:alpha=unassociated", "TIFF:a.tif"},
      {"tiff", "premultiplied_alpha", "-define tiff:alpha=associated", "TIFF:a.tif"},
      {"bmp", "core24", "-alpha off", "BMP2:a.bmp"},
      {"bmp", "bilevel", "-alpha off -monochrome", "BMP3:a.bmp"},
      {"bmp", "palette4", "-alpha off -colors 16", "BMP3:a.bmp"},
      {"bmp", "palette8", "-alpha off -type Palette -compress None", "BMP3:a.bmp"},
      // An odd width: convert's runs cover the row's padding too.
      {"bmp", "rle8", "-alpha off -crop 7x7+0+0 -type Palette -compress RLE", "BMP3:a.bmp"},
      {"bmp", "rgb24", "-alpha off", "BMP3:a.bmp"},
      {"bmp", "rgb565", "-alpha off -define bmp:subtype=RGB565", "BMP:a.bmp"},
      {"bmp", "v5_alpha", "", "BMP:a.bmp"},
  };
  for (const auto& [format, name, options, output] : kRecipes)
    out.push_back({format, name, Convert(std::string(kMagickSource) + " " + options, output)});
}

}  // namespace

std::vector<PictureVariant> PictureVariants() {
  std::vector<PictureVariant> all;
  for (auto* add : {AddPngVariants, AddHandMadeVariants, AddMagickVariants}) add(all);
  return all;
}

}  // namespace repng::test
