#include "codecs/bmp_writer.h"

namespace repng::test {

Bytes MakeBmp(const BmpSpec& s) {
  Bytes pixels;
  for (Bytes row : s.rows) {
    row.resize((row.size() + 3) / 4 * 4, 0);
    pixels.insert(pixels.end(), row.begin(), row.end());
  }
  Bytes after_header;  // masks after a 40-byte header, then the palette
  if (s.header_size == 40)
    for (const uint32_t mask : s.masks) PutLe32(after_header, mask);
  after_header.insert(after_header.end(), s.palette.begin(), s.palette.end());
  const uint32_t pixel_offset = uint32_t(14 + s.header_size + after_header.size());

  Bytes file = {'B', 'M'};
  for (const uint32_t field : {uint32_t(pixel_offset + pixels.size() + s.profile.size()), 0u, pixel_offset, s.header_size})
    PutLe32(file, field);
  if (s.header_size == 12) {
    for (const uint32_t field : {uint32_t(s.width), uint32_t(s.height), 1u, uint32_t(s.bpp)}) PutLe16(file, field);
  } else {
    PutLe32(file, uint32_t(s.width));
    PutLe32(file, uint32_t(s.height));
    PutLe16(file, 1);
    PutLe16(file, s.bpp);
    for (const uint32_t field : {s.compression, 0u, 2835u, 2835u, s.colors_used, 0u}) PutLe32(file, field);
    for (size_t i = 0; s.header_size > 40 && i < 4; ++i)
      PutLe32(file, i < s.masks.size() ? s.masks[i] : 0);
    if (s.header_size >= 108) {
      PutLe32(file, s.cs_type);
      file.resize(file.size() + 48, 0);  // end points and gammas
    }
    if (s.header_size == 124) {
      // Intent, then the profile's place (counted from the header) and size.
      const uint32_t profile_at = s.profile.empty() ? 0 : uint32_t(pixel_offset - 14 + pixels.size());
      for (const uint32_t field : {4u, profile_at, uint32_t(s.profile.size()), 0u}) PutLe32(file, field);
    }
  }
  for (const Bytes* part : std::initializer_list<const Bytes*>{&after_header, &pixels, &s.profile})
    file.insert(file.end(), part->begin(), part->end());
  return file;
}

}  // namespace repng::test
