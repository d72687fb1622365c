#include "png/reductions.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "png/encoder_fault.h"

namespace repng::png {
namespace {

// Writes samples of 1, 2, 4 or 8 bits into a row, most significant bits
// first, as PNG packs them.
class SamplePacker {
 public:
  SamplePacker(uint8_t* row, uint8_t bit_depth) : out_(row), depth_(bit_depth) {}

  void Put(uint32_t sample) {
    if (depth_ == 8) {
      *out_++ = static_cast<uint8_t>(sample);
      return;
    }
    bits_used_ += depth_;
    *out_ = static_cast<uint8_t>(*out_ | (sample << (8 - bits_used_)));
    if (bits_used_ == 8) {
      ++out_;
      bits_used_ = 0;
    }
  }

 private:
  uint8_t* out_;
  uint32_t depth_;
  uint32_t bits_used_ = 0;
};

PngRaster EmptyRaster(const StraightImage& image, ColorType type, uint8_t bit_depth) {
  PngRaster raster;
  raster.width = image.width;
  raster.height = image.height;
  raster.color_type = type;
  raster.bit_depth = bit_depth;
  const size_t row_bytes = RowBytes(raster);
  if (row_bytes == 0 || image.height > SIZE_MAX / row_bytes ||
      image.argb.size() != size_t{image.width} * image.height) {
    throw EncoderFault("raster size");
  }
  raster.rows.assign(row_bytes * image.height, 0);
  return raster;
}

// Maps each colour to its palette index.
class PaletteIndex {
 public:
  explicit PaletteIndex(const std::vector<uint32_t>& ordered_colours) {
    for (size_t i = 0; i < ordered_colours.size(); ++i) {
      entries_.emplace_back(ordered_colours[i], static_cast<uint8_t>(i));
    }
    std::sort(entries_.begin(), entries_.end());
  }

  uint8_t IndexOf(uint32_t colour) {
    if (primed_ && colour == last_colour_) return last_index_;
    const auto it = std::lower_bound(entries_.begin(), entries_.end(), std::make_pair(colour, uint8_t{0}));
    if (it == entries_.end() || it->first != colour) {
      throw EncoderFault("colour missing from palette");
    }
    primed_ = true;
    last_colour_ = colour;
    last_index_ = it->second;
    return last_index_;
  }

 private:
  std::vector<std::pair<uint32_t, uint8_t>> entries_;
  uint32_t last_colour_ = 0;
  uint8_t last_index_ = 0;
  bool primed_ = false;
};

}  // namespace

PngRaster BuildTruecolourRaster(const StraightImage& image, const ColourSummary& summary) {
  const bool keyed = ColourKeyPossible(summary);
  const bool drop_alpha = summary.all_opaque || keyed;
  PngRaster raster = EmptyRaster(image, drop_alpha ? ColorType::kRgb : ColorType::kRgba, 8);
  if (keyed) raster.transparency.assign(6, 0);  // 16-bit R, G, B of black
  uint8_t* out = raster.rows.data();
  for (const uint32_t pixel : image.argb) {
    *out++ = static_cast<uint8_t>(pixel >> 16);
    *out++ = static_cast<uint8_t>(pixel >> 8);
    *out++ = static_cast<uint8_t>(pixel);
    if (!drop_alpha) *out++ = static_cast<uint8_t>(pixel >> 24);
  }
  return raster;
}

PngRaster BuildGrayRaster(const StraightImage& image, const ColourSummary& summary) {
  const bool keyed = ColourKeyPossible(summary);
  if (!summary.all_opaque && !keyed) {
    PngRaster raster = EmptyRaster(image, ColorType::kGrayAlpha, 8);
    uint8_t* out = raster.rows.data();
    for (const uint32_t pixel : image.argb) {
      *out++ = static_cast<uint8_t>(pixel);
      *out++ = static_cast<uint8_t>(pixel >> 24);
    }
    return raster;
  }
  const uint8_t depth = GrayBitDepth(summary);
  PngRaster raster = EmptyRaster(image, ColorType::kGray, depth);
  if (keyed) raster.transparency.assign(2, 0);  // 16-bit gray 0
  const size_t row_bytes = RowBytes(raster);
  const uint32_t shift = 8u - depth;  // exact: every value is a multiple of the step
  for (uint32_t y = 0; y < image.height; ++y) {
    SamplePacker packer(raster.rows.data() + y * row_bytes, depth);
    const uint32_t* row = image.argb.data() + size_t{y} * image.width;
    for (uint32_t x = 0; x < image.width; ++x) packer.Put((row[x] & 0xFF) >> shift);
  }
  return raster;
}

PngRaster BuildPaletteRaster(const StraightImage& image, const std::vector<uint32_t>& ordered_colours) {
  if (ordered_colours.empty() || ordered_colours.size() > kMaxPaletteEntries) {
    throw EncoderFault("palette size");
  }
  const uint8_t depth = PaletteBitDepth(ordered_colours.size());
  PngRaster raster = EmptyRaster(image, ColorType::kPalette, depth);
  size_t translucent_entries = 0;
  for (const uint32_t colour : ordered_colours) {
    raster.palette.push_back(static_cast<uint8_t>(colour >> 16));
    raster.palette.push_back(static_cast<uint8_t>(colour >> 8));
    raster.palette.push_back(static_cast<uint8_t>(colour));
    if ((colour >> 24) != 255) translucent_entries = raster.palette.size() / 3;
  }
  // Entries after the last one that is not opaque are opaque by default.
  for (size_t i = 0; i < translucent_entries; ++i) {
    raster.transparency.push_back(static_cast<uint8_t>(ordered_colours[i] >> 24));
  }
  PaletteIndex index(ordered_colours);
  const size_t row_bytes = RowBytes(raster);
  for (uint32_t y = 0; y < image.height; ++y) {
    SamplePacker packer(raster.rows.data() + y * row_bytes, depth);
    const uint32_t* row = image.argb.data() + size_t{y} * image.width;
    for (uint32_t x = 0; x < image.width; ++x) packer.Put(index.IndexOf(row[x]));
  }
  return raster;
}

}  // namespace repng::png
