#include "codecs/picture_variants.h"

#include "codecs/bmp_writer.h"
#include "codecs/gif_writer.h"
#include "codecs/magick.h"
#include "codecs/png_writer.h"

namespace repng::test {
namespace {

// A 5 x 3 picture whose samples walk through the range of the type and depth.
PngSpec PngWalk(uint8_t color_type, uint8_t depth, bool interlaced) {
  PngSpec spec{.width = 5, .height = 3, .bit_depth = depth, .color_type = color_type, .interlaced = interlaced};
  const uint32_t channels = color_type == 2 ? 3 : color_type == 4 ? 2 : color_type == 6 ? 4 : 1;
  const uint32_t limit = color_type == 3 ? std::min(4u, 1u << depth) : 1u << depth;
  for (uint32_t i = 0; i < 5 * 3 * channels; ++i) spec.samples.push_back(uint16_t((i * 7 + 3) % limit));
  if (color_type == 3) {
    spec.palette = {10, 20, 30, 40, 50, 60, 70, 80, 90, 200, 210, 220};
    spec.palette.resize(3 * limit);
  }
  return spec;
}

std::vector<PictureVariant> PngVariants() {
  std::vector<PictureVariant> out;
  const std::pair<uint8_t, uint8_t> kinds[] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {2, 8}, {3, 1},
                                               {3, 2}, {3, 4}, {3, 8}, {4, 8}, {6, 8}};
  for (const auto& [type, depth] : kinds) {
    for (const bool interlaced : {false, true}) {
      out.push_back({"png", "type" + std::to_string(type) + "_depth" + std::to_string(depth) + (interlaced ? "_i" : ""),
                     MakePng(PngWalk(type, depth, interlaced))});
    }
  }
  PngSpec palette = PngWalk(3, 8, false), gray = PngWalk(0, 8, false), rgb = PngWalk(2, 8, false);
  palette.before_idat = {{"tRNS", {0, 128}}};
  gray.before_idat = {{"tRNS", {0, 3}}};
  rgb.before_idat = {{"tRNS", {0, 3, 0, 10, 0, 17}}};
  out.push_back({"png", "palette_trns", MakePng(palette)});
  out.push_back({"png", "gray_trns", MakePng(gray)});
  out.push_back({"png", "rgb_trns", MakePng(rgb)});
  return out;
}

// What convert cannot write: RLE4, top-down rows, a core header with a
// palette, 16 bits without masks, 32 bits with alpha and the V4 header.
std::vector<PictureVariant> HandMadeBmps() {
  const Bytes palette = {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 9, 8, 7, 0};
  Bytes core_palette(256 * 3, 0);
  for (size_t i = 0; i < core_palette.size(); ++i) core_palette[i] = uint8_t(i * 7);
  return {
      {"bmp", "rle4", MakeBmp({.width = 6, .height = 1, .bpp = 4, .compression = 2, .palette = palette,
                               .colors_used = 4, .rows = {{6, 0x12, 0, 0, 0, 1}}})},
      {"bmp", "top_down4", MakeBmp({.width = 3, .height = -2, .bpp = 4, .palette = palette, .colors_used = 4,
                                    .rows = {{0x32, 0x10}, {0x01, 0x20}}})},
      {"bmp", "core_palette", MakeBmp({.header_size = 12, .width = 3, .height = 1, .bpp = 8,
                                       .palette = core_palette, .rows = {{1, 0, 200}}})},
      {"bmp", "rgb555", MakeBmp({.width = 2, .height = 1, .bpp = 16, .rows = {{0x00, 0x7C, 0x1F, 0x42}}})},
      {"bmp", "argb32", MakeBmp({.width = 2, .height = 1, .bpp = 32, .rows = {{1, 2, 3, 0, 4, 5, 6, 0x80}}})},
      {"bmp", "v4", MakeBmp({.header_size = 108, .width = 2, .height = 1, .rows = {{1, 2, 3, 4, 5, 6}}})},
      {"bmp", "v5_argb", MakeBmp({.header_size = 124, .width = 1, .height = -2, .bpp = 32, .compression = 3,
                                  .masks = {0xFF00, 0xFF0000, 0xFF000000, 0xFF},
                                  .rows = {{0x40, 1, 2, 3}, {0xFF, 4, 5, 6}}})},
  };
}

PictureVariant LocalPaletteGif() {
  Bytes gif = GifHeader(2, 9, {255, 0, 0, 0, 255, 0});
  std::vector<uint8_t> indices;
  for (uint8_t i = 0; i < 18; ++i) indices.push_back(i % 3 == 0);
  AppendGifFrame(gif, {.width = 2, .height = 9, .interlaced = true, .local_palette = {1, 1, 1, 2, 2, 2},
                       .indices = indices});
  EndGif(gif);
  return {"gif", "local_palette_interlaced", gif};
}

std::vector<PictureVariant> MagickVariants() {
  struct Recipe {
    const char* format;
    const char* name;
    const char* arguments;
    const char* output;
  };
  static constexpr Recipe kRecipes[] = {
      {"png", "magick_palette_alpha", "", "PNG8:a.png"},
      {"png", "magick_gray_alpha", "-colorspace Gray -define png:color-type=4", "PNG:a.png"},
      {"jpeg", "baseline", "-alpha off", "JPG:a.jpg"},
      {"jpeg", "progressive", "-alpha off -interlace JPEG", "JPG:a.jpg"},
      {"jpeg", "gray", "-alpha off -colorspace Gray", "JPG:a.jpg"},
      {"jpeg", "cmyk", "-alpha off -colorspace CMYK", "JPG:a.jpg"},
      {"gif", "transparent", "", "GIF:a.gif"},
      {"gif", "interlaced", "-interlace GIF", "GIF:a.gif"},
      {"tiff", "plain", "-alpha off -compress None", "TIFF:a.tif"},
      {"tiff", "lzw", "-alpha off -compress LZW", "TIFF:a.tif"},
      {"tiff", "deflate", "-alpha off -compress Zip", "TIFF:a.tif"},
      {"tiff", "packbits", "-alpha off -compress RLE", "TIFF:a.tif"},
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
  std::vector<PictureVariant> out;
  for (const Recipe& recipe : kRecipes) {
    out.push_back({recipe.format, recipe.name,
                   Convert(std::string(kMagickSource) + " " + recipe.arguments, recipe.output)});
  }
  return out;
}

}  // namespace

const std::vector<PictureVariant>& PictureVariants() {
  static const std::vector<PictureVariant> variants = [] {
    std::vector<PictureVariant> all = PngVariants();
    for (auto* part : {HandMadeBmps, MagickVariants}) {
      for (PictureVariant& variant : part()) all.push_back(std::move(variant));
    }
    all.push_back(LocalPaletteGif());
    return all;
  }();
  return variants;
}

}  // namespace repng::test
