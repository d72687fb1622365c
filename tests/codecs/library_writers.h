// Test files written through the Debian libraries themselves.
#pragma once

#include <string>

#include "codecs/fixture_bytes.h"

namespace repng::test {

struct JpegSpec {
  uint32_t width = 16;
  uint32_t height = 16;
  int components = 3;  // 1 gray, 3 RGB (stored as YCbCr), 4 CMYK (Adobe, inverted)
  bool progressive = false;
  Bytes samples;       // width * height * components
  Bytes icc_profile;   // written as APP2 when not empty
  Bytes exif_tiff;     // written as "Exif\0\0" APP1 when not empty
};
Bytes MakeJpeg(const JpegSpec& spec);

struct TiffPage {
  uint32_t width = 2;
  uint32_t height = 2;
  uint16_t photometric = 2;  // PHOTOMETRIC_RGB
  uint16_t samples_per_pixel = 3;
  uint16_t bits = 8;
  uint16_t compression = 1;
  int extra_sample = -1;  // EXTRASAMPLE_* for the fourth channel, or -1
  uint16_t orientation = 1;
  std::vector<uint16_t> colormap;  // 3 * 2^bits entries for palettes
  Bytes icc_profile;
  Bytes samples;  // contiguous rows (16-bit samples: 2 bytes each, host order)
};
Bytes MakeTiff(const std::vector<TiffPage>& pages);

}  // namespace repng::test
