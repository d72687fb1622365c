// Uncompressed and bit-field BMP rows.
#include "codecs/bmp_layout.h"
#include "codecs/byte_order.h"
#include "codecs/decode_support.h"

namespace repng::codecs::bmp {
namespace {

uint32_t ChannelValue(uint32_t word, const MaskChannel& channel) {
  if (channel.bits == 0) return 0;  // a colour without a mask is black
  const uint32_t value = (word & channel.mask) >> channel.shift;
  if (channel.bits == 8) return value;
  const uint32_t max = (1u << channel.bits) - 1;
  return (value * 255 + max / 2) / max;
}

uint32_t MaskedPixel(uint32_t word, const BmpLayout& layout) {
  const MaskChannel& alpha = layout.channels[3];
  const uint32_t a = alpha.bits == 0 ? 255 : ChannelValue(word, alpha);
  return PackArgb(a, ChannelValue(word, layout.channels[0]), ChannelValue(word, layout.channels[1]),
                  ChannelValue(word, layout.channels[2]));
}

}  // namespace

DecodeResult DecodeBmpRows(const uint8_t* data, size_t size, const BmpLayout& layout,
                           DecodedImage& out) {
  const uint64_t stride = RowStride(layout);
  if (!RangeInside(layout.pixel_offset, UncompressedPixelBytes(layout), size)) {
    return DecodeResult::kDamaged;
  }
  const bool alpha_read = layout.alpha_in_fourth_byte || layout.channels[3].bits != 0;
  uint32_t alpha_seen = 0;

  for (uint32_t y = 0; y < layout.height; ++y) {
    const uint32_t source_row = layout.top_down ? y : layout.height - 1 - y;
    const uint8_t* row = data + layout.pixel_offset + stride * source_row;
    uint32_t* target = out.argb.data() + static_cast<size_t>(y) * layout.width;
    for (uint32_t x = 0; x < layout.width; ++x) {
      uint32_t pixel;
      switch (layout.bits_per_pixel) {
        case 1:
        case 4:
        case 8: {
          const uint32_t bpp = layout.bits_per_pixel;
          const uint64_t bit = static_cast<uint64_t>(x) * bpp;
          const uint32_t shift = 8 - bpp - static_cast<uint32_t>(bit % 8);
          const uint32_t index = (row[bit / 8] >> shift) & ((1u << bpp) - 1);
          if (index >= layout.palette_size) return DecodeResult::kDamaged;
          pixel = layout.palette[index];
          break;
        }
        case 16:
          pixel = MaskedPixel(ReadLe16(row + 2 * static_cast<uint64_t>(x)), layout);
          break;
        case 24: {
          const uint8_t* p = row + 3 * static_cast<uint64_t>(x);
          pixel = PackArgb(255, p[2], p[1], p[0]);
          break;
        }
        default: {
          const uint32_t word = ReadLe32(row + 4 * static_cast<uint64_t>(x));
          pixel = MaskedPixel(word, layout);
          if (layout.alpha_in_fourth_byte) pixel = (pixel & 0x00FFFFFFu) | (word & 0xFF000000u);
          break;
        }
      }
      alpha_seen |= pixel >> 24;
      target[x] = pixel;
    }
  }
  // Writers that leave the alpha bytes at 0 mean an opaque picture.
  if (alpha_read && alpha_seen == 0) {
    for (uint32_t& pixel : out.argb) pixel |= 0xFF000000u;
  }
  return DecodeResult::kOk;
}

}  // namespace repng::codecs::bmp
