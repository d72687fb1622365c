#include "png/colour_summary.h"

#include <algorithm>
#include <array>

namespace repng::png {
namespace {

// A tiny open-addressing set that gives up after kMaxPaletteEntries + 1
// colours, so counting stays cheap on photographs.
class SmallColourSet {
 public:
  // False once there are more colours than a palette holds.
  bool Insert(uint32_t colour) {
    if (overflowed_) return false;
    size_t slot = Hash(colour);
    while (used_[slot]) {
      if (colours_[slot] == colour) return true;
      slot = (slot + 1) & (kSlots - 1);
    }
    if (count_ == kMaxPaletteEntries) {
      overflowed_ = true;
      return false;
    }
    used_[slot] = true;
    colours_[slot] = colour;
    ++count_;
    return true;
  }

  std::vector<uint32_t> SortedColours() const {
    std::vector<uint32_t> out;
    if (overflowed_) return out;
    for (size_t i = 0; i < kSlots; ++i) {
      if (used_[i]) out.push_back(colours_[i]);
    }
    std::sort(out.begin(), out.end());
    return out;
  }

  bool overflowed() const { return overflowed_; }

 private:
  static constexpr size_t kSlots = 1024;
  static size_t Hash(uint32_t colour) { return (colour * 2654435761u) >> 22; }

  std::array<uint32_t, kSlots> colours_{};
  std::array<bool, kSlots> used_{};
  size_t count_ = 0;
  bool overflowed_ = false;
};

bool FitsDepth(uint32_t value, uint32_t depth) {
  const uint32_t step = 255 / ((1u << depth) - 1);
  return value % step == 0;
}

}  // namespace

ColourSummary SummariseColours(const uint32_t* argb, size_t count) {
  ColourSummary summary;
  SmallColourSet colours;
  uint32_t previous = 0;
  bool have_previous = false;
  for (size_t i = 0; i < count; ++i) {
    const uint32_t pixel = argb[i];
    // Runs of one colour are common in drawings; skip the set for them.
    if (have_previous && pixel == previous) continue;
    previous = pixel;
    have_previous = true;

    const uint32_t alpha = pixel >> 24;
    const uint32_t red = (pixel >> 16) & 0xFF;
    const uint32_t green = (pixel >> 8) & 0xFF;
    const uint32_t blue = pixel & 0xFF;
    if (alpha != 255) summary.all_opaque = false;
    if (alpha == 0) summary.any_transparent = true;
    if (alpha != 0 && alpha != 255) summary.alpha_only_0_or_255 = false;
    if (alpha == 255 && (pixel & 0xFFFFFF) == 0) summary.opaque_black_present = true;
    if (red != green || green != blue) {
      summary.all_gray = false;
    } else {
      summary.gray_values_seen[red] = true;
    }
    colours.Insert(pixel);
  }
  summary.fits_palette = !colours.overflowed();
  summary.palette_colours = colours.SortedColours();
  return summary;
}

bool ColourKeyPossible(const ColourSummary& summary) {
  return summary.alpha_only_0_or_255 && summary.any_transparent && !summary.opaque_black_present;
}

uint8_t GrayBitDepth(const ColourSummary& summary) {
  for (const uint8_t depth : {uint8_t{1}, uint8_t{2}, uint8_t{4}}) {
    bool fits = true;
    for (uint32_t value = 0; value < 256 && fits; ++value) {
      if (summary.gray_values_seen[value] && !FitsDepth(value, depth)) fits = false;
    }
    if (fits) return depth;
  }
  return 8;
}

uint8_t PaletteBitDepth(size_t entries) {
  if (entries <= 2) return 1;
  if (entries <= 4) return 2;
  if (entries <= 16) return 4;
  return 8;
}

}  // namespace repng::png
