// Writes small PNG files by hand, so tests control every chunk.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "codecs/fixture_bytes.h"

namespace repng::test {

struct PngSpec {
  uint32_t width = 1;
  uint32_t height = 1;
  uint8_t bit_depth = 8;
  uint8_t color_type = 6;
  // Samples row by row (palette indices for colour type 3), each < 2^depth;
  // fewer rows than the height make a file short of image data.
  std::vector<uint16_t> samples;
  // Extra chunks as (type, data), before PLTE/IDAT and after IDAT.
  std::vector<std::pair<std::string, Bytes>> before_idat;
  std::vector<std::pair<std::string, Bytes>> after_idat;
  Bytes palette;  // RGB triples, written as PLTE when not empty
};

Bytes AppendChunk(Bytes png, const std::string& type, const Bytes& data);
Bytes MakePng(const PngSpec& spec);
Bytes ZlibCompress(const Bytes& data);

// Colour and orientation metadata, for PNG and the other formats.
// A minimal ICC profile: RGB data, one 'desc' tag with the given description.
Bytes IccProfile(const std::string& description);
// An iCCP chunk's data: the profile's name, then the profile compressed.
Bytes IccpChunk(const std::string& name, const std::string& description);
// A TIFF-structured EXIF block whose IFD0 holds one orientation entry.
Bytes ExifTiff(uint8_t orientation);

}  // namespace repng::test
