// Writes BMP files by hand from a description of their headers.
#pragma once

#include "codecs/fixture_bytes.h"

namespace repng::test {

constexpr uint32_t kBmpSrgb = 0x73524742;
constexpr uint32_t kBmpEmbedded = 0x4D424544;
constexpr uint32_t kBmpLinked = 0x4C494E4B;

struct BmpSpec {
  uint32_t header_size = 40;
  int32_t width = 2;
  int32_t height = 2;  // negative: top-down
  uint16_t bpp = 24;
  uint32_t compression = 0;
  std::vector<uint32_t> masks;  // after a 40-byte header, or inside longer ones
  Bytes palette;                // raw entries, 4 bytes each (3 in a core header)
  uint32_t colors_used = 0;
  std::vector<Bytes> rows;  // file order, padded here to 4 bytes
  uint32_t cs_type = kBmpSrgb;
  Bytes profile;  // V5 embedded profile, placed after the pixels
};

Bytes MakeBmp(const BmpSpec& s);

}  // namespace repng::test
