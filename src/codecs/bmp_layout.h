// The layout of a BMP file as its headers describe it, checked against the
// file's size before any pixel is read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "codecs/decoded_image.h"

namespace repng::codecs::bmp {

enum class Compression : uint32_t {
  kRgb = 0,
  kRle8 = 1,
  kRle4 = 2,
  kBitfields = 3,
  kAlphaBitfields = 6,
};

// One colour channel of a BI_BITFIELDS (or default 16/32-bit) pixel word.
struct MaskChannel {
  uint32_t mask = 0;
  uint32_t shift = 0;
  uint32_t bits = 0;  // 0: channel absent
};

struct BmpLayout {
  uint32_t width = 0;
  uint32_t height = 0;
  bool top_down = false;
  uint32_t bits_per_pixel = 0;
  Compression compression = Compression::kRgb;
  // Red, green, blue, alpha; used for 16 and 32 bits per pixel.
  std::array<MaskChannel, 4> channels{};
  // 32-bit BI_RGB keeps its alpha in the fourth byte of each pixel.
  bool alpha_in_fourth_byte = false;
  std::array<uint32_t, 256> palette{};  // opaque 0xFFRRGGBB
  uint32_t palette_size = 0;
  uint64_t pixel_offset = 0;  // from the start of the file
};

uint64_t RowStride(const BmpLayout& layout);
uint64_t UncompressedPixelBytes(const BmpLayout& layout);

// Reads and checks the headers: kOk, kDamaged, a reason to refuse the
// picture, or kTooLarge.
DecodeResult ParseBmpLayout(const uint8_t* data, size_t size, BmpLayout* layout);

// Pixels of uncompressed rows, and of RLE streams, into out (already sized).
DecodeResult DecodeBmpRows(const uint8_t* data, size_t size, const BmpLayout& layout,
                           DecodedImage& out);
DecodeResult DecodeBmpRle(const uint8_t* data, size_t size, const BmpLayout& layout,
                          DecodedImage& out);

}  // namespace repng::codecs::bmp
