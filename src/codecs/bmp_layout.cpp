#include "codecs/bmp_layout.h"

#include <bit>
#include <limits>

#include "codecs/byte_order.h"
#include "codecs/color_metadata.h"

namespace repng::codecs::bmp {
namespace {

constexpr uint64_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kV2HeaderSize = 52;  // info header + RGB masks
constexpr uint32_t kV3HeaderSize = 56;  // info header + RGBA masks
constexpr uint32_t kV4HeaderSize = 108;
constexpr uint32_t kV5HeaderSize = 124;

constexpr uint32_t kCsSrgb = 0x73524742;          // 'sRGB'
constexpr uint32_t kCsWindows = 0x57696E20;       // 'Win '
constexpr uint32_t kCsProfileLinked = 0x4C494E4B;  // 'LINK'
constexpr uint32_t kCsProfileEmbedded = 0x4D424544;  // 'MBED'

bool IsKnownInfoHeaderSize(uint32_t header_size) {
  return header_size == kInfoHeaderSize || header_size == kV2HeaderSize ||
         header_size == kV3HeaderSize || header_size == kV4HeaderSize ||
         header_size == kV5HeaderSize;
}

// A mask must be one run of at most 8 bits inside the pixel word; wider
// channels would not survive 8 bits per sample.
DecodeResult MakeChannel(uint32_t mask, uint32_t bits_per_pixel, MaskChannel* channel) {
  *channel = MaskChannel{};
  if (mask == 0) return DecodeResult::kOk;
  if (bits_per_pixel < 32 && (mask >> bits_per_pixel) != 0) return DecodeResult::kDamaged;
  const uint32_t shift = static_cast<uint32_t>(std::countr_zero(mask));
  const uint32_t run = mask >> shift;
  if ((run & (run + 1)) != 0) return DecodeResult::kOtherLayout;
  const uint32_t bits = static_cast<uint32_t>(std::popcount(run));
  if (bits > 8) return DecodeResult::kDeepSamples;
  *channel = MaskChannel{mask, shift, bits};
  return DecodeResult::kOk;
}

DecodeResult MakeChannels(const std::array<uint32_t, 4>& masks, uint32_t bits_per_pixel,
                          BmpLayout* layout) {
  uint32_t seen = 0;
  for (size_t i = 0; i < masks.size(); ++i) {
    if ((seen & masks[i]) != 0) return DecodeResult::kDamaged;
    seen |= masks[i];
    const DecodeResult result = MakeChannel(masks[i], bits_per_pixel, &layout->channels[i]);
    if (result != DecodeResult::kOk) return result;
  }
  return DecodeResult::kOk;
}

bool BitDepthFits(Compression compression, uint32_t bpp) {
  switch (compression) {
    case Compression::kRgb:
      return bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
    case Compression::kRle8:
      return bpp == 8;
    case Compression::kRle4:
      return bpp == 4;
    case Compression::kBitfields:
    case Compression::kAlphaBitfields:
      return bpp == 16 || bpp == 32;
  }
  return false;
}

// A V5 header may point at an ICC profile; only sRGB may be dropped.
DecodeResult CheckColorSpace(const uint8_t* data, size_t size, uint32_t header_size) {
  if (header_size < kV4HeaderSize) return DecodeResult::kOk;
  const uint32_t cs_type = ReadLe32(data + kFileHeaderSize + 56);
  if (cs_type == kCsSrgb || cs_type == kCsWindows) return DecodeResult::kOk;
  if (cs_type == kCsProfileLinked) return DecodeResult::kColourProfile;
  if (cs_type != kCsProfileEmbedded) return DecodeResult::kOk;  // calibrated RGB: shown as sRGB
  if (header_size < kV5HeaderSize) return DecodeResult::kColourProfile;
  const uint64_t profile_offset =
      kFileHeaderSize + static_cast<uint64_t>(ReadLe32(data + kFileHeaderSize + 112));
  const uint32_t profile_size = ReadLe32(data + kFileHeaderSize + 116);
  if (!RangeInside(profile_offset, profile_size, size)) return DecodeResult::kDamaged;
  return IsSrgbIccProfile(data + profile_offset, profile_size) ? DecodeResult::kOk
                                                               : DecodeResult::kColourProfile;
}

}  // namespace

uint64_t RowStride(const BmpLayout& layout) {
  return (static_cast<uint64_t>(layout.width) * layout.bits_per_pixel + 31) / 32 * 4;
}

// The last row may lack its padding; anything shorter is cut off.
uint64_t UncompressedPixelBytes(const BmpLayout& layout) {
  const uint64_t bits_per_row = static_cast<uint64_t>(layout.width) * layout.bits_per_pixel;
  return RowStride(layout) * (layout.height - 1) + (bits_per_row + 7) / 8;
}

DecodeResult ParseBmpLayout(const uint8_t* data, size_t size, BmpLayout* layout) {
  *layout = BmpLayout{};
  if (size < 2 || data[0] != 'B' || data[1] != 'M') return DecodeResult::kNotRecognised;
  if (!RangeInside(0, kFileHeaderSize + 4, size)) return DecodeResult::kDamaged;
  layout->pixel_offset = ReadLe32(data + 10);
  const uint32_t header_size = ReadLe32(data + kFileHeaderSize);
  if (!RangeInside(kFileHeaderSize, header_size, size)) return DecodeResult::kDamaged;
  const uint8_t* header = data + kFileHeaderSize;

  uint64_t palette_offset = kFileHeaderSize + static_cast<uint64_t>(header_size);
  uint32_t palette_entry_size = 4;
  uint32_t colors_used = 0;
  std::array<uint32_t, 4> masks{};
  bool masks_given = false;

  if (header_size == kCoreHeaderSize) {
    layout->width = ReadLe16(header + 4);
    layout->height = ReadLe16(header + 6);
    layout->bits_per_pixel = ReadLe16(header + 10);
    palette_entry_size = 3;
  } else if (IsKnownInfoHeaderSize(header_size)) {
    const auto width = static_cast<int32_t>(ReadLe32(header + 4));
    const auto height = static_cast<int32_t>(ReadLe32(header + 8));
    if (width < 0 || height == std::numeric_limits<int32_t>::min()) return DecodeResult::kDamaged;
    layout->width = static_cast<uint32_t>(width);
    layout->top_down = height < 0;
    layout->height = static_cast<uint32_t>(height < 0 ? -height : height);
    layout->bits_per_pixel = ReadLe16(header + 14);
    const uint32_t compression = ReadLe32(header + 16);
    colors_used = ReadLe32(header + 32);
    switch (compression) {
      case 0: case 1: case 2: case 3: case 6:
        layout->compression = static_cast<Compression>(compression);
        break;
      case 4: case 5:  // embedded JPEG or PNG
        return DecodeResult::kOtherLayout;
      default:
        return DecodeResult::kDamaged;
    }
    const bool bitfields = layout->compression == Compression::kBitfields ||
                           layout->compression == Compression::kAlphaBitfields;
    if (bitfields) {
      masks_given = true;
      // The masks follow a plain info header, and are part of the longer ones.
      const uint64_t masks_offset = kFileHeaderSize + kInfoHeaderSize;
      const uint32_t mask_count =
          header_size >= kV3HeaderSize ||
                  (header_size == kInfoHeaderSize && layout->compression == Compression::kAlphaBitfields)
              ? 4 : 3;
      if (!RangeInside(masks_offset, 4 * mask_count, size)) return DecodeResult::kDamaged;
      for (uint32_t i = 0; i < mask_count; ++i) masks[i] = ReadLe32(data + masks_offset + 4 * i);
      if (header_size == kInfoHeaderSize) palette_offset += 4 * mask_count;
    }
    const DecodeResult color_space = CheckColorSpace(data, size, header_size);
    if (color_space != DecodeResult::kOk) return color_space;
  } else {
    return DecodeResult::kOtherLayout;  // OS/2 2.x and other variants
  }

  if (layout->top_down && (layout->compression == Compression::kRle8 ||
                           layout->compression == Compression::kRle4)) {
    return DecodeResult::kDamaged;
  }
  if (!BitDepthFits(layout->compression, layout->bits_per_pixel)) return DecodeResult::kDamaged;
  if (!DimensionsAllowed(layout->width, layout->height)) return DecodeResult::kTooLarge;

  if (layout->bits_per_pixel <= 8) {
    const uint32_t max_colors = 1u << layout->bits_per_pixel;
    layout->palette_size = colors_used == 0 || colors_used > max_colors ? max_colors : colors_used;
    const uint64_t palette_bytes = static_cast<uint64_t>(layout->palette_size) * palette_entry_size;
    if (!RangeInside(palette_offset, palette_bytes, size) ||
        palette_offset + palette_bytes > layout->pixel_offset) {
      return DecodeResult::kDamaged;
    }
    for (uint32_t i = 0; i < layout->palette_size; ++i) {
      const uint8_t* entry = data + palette_offset + static_cast<uint64_t>(i) * palette_entry_size;
      layout->palette[i] = 0xFF000000u | (static_cast<uint32_t>(entry[2]) << 16) |
                           (static_cast<uint32_t>(entry[1]) << 8) | entry[0];
    }
  } else {
    if (!masks_given) {
      if (layout->bits_per_pixel == 16) {
        masks = {0x7C00, 0x03E0, 0x001F, 0};
      } else {
        masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0};
        layout->alpha_in_fourth_byte = layout->bits_per_pixel == 32;
      }
    }
    const DecodeResult channels = MakeChannels(masks, layout->bits_per_pixel, layout);
    if (channels != DecodeResult::kOk) return channels;
    if (palette_offset > layout->pixel_offset) return DecodeResult::kDamaged;
  }
  if (layout->pixel_offset > size) return DecodeResult::kDamaged;
  // Uncompressed rows are checked here, so a short file that claims a large
  // picture is refused before its pixels are allocated.
  if (layout->compression != Compression::kRle8 && layout->compression != Compression::kRle4 &&
      !RangeInside(layout->pixel_offset, UncompressedPixelBytes(*layout), size)) {
    return DecodeResult::kDamaged;
  }
  return DecodeResult::kOk;
}

}  // namespace repng::codecs::bmp
