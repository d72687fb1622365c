#include "codecs/bmp_writer.h"

#include <algorithm>

namespace repng::test {

Bytes MakeBmp(const BmpSpec& s) {
  Bytes header;
  if (s.header_size == 12) {
    for (const uint32_t field : {uint32_t(s.width), uint32_t(s.height), 1u, uint32_t(s.bpp)}) PutLe16(header, field);
  } else {
    PutLe32(header, uint32_t(s.width));
    PutLe32(header, uint32_t(s.height));
    PutLe16(header, 1);
    PutLe16(header, s.bpp);
    for (const uint32_t field : {s.compression, 0u, 2835u, 2835u, s.colors_used, 0u}) PutLe32(header, field);
    if (s.header_size > 40) {
      for (size_t i = 0; i < (s.header_size == 52 ? 3u : 4u); ++i) PutLe32(header, i < s.masks.size() ? s.masks[i] : 0);
    }
    if (s.header_size >= 108) {
      PutLe32(header, s.cs_type);
      header.resize(header.size() + 48, 0);  // end points and gammas
    }
    if (s.header_size == 124) header.resize(header.size() + 16, 0);  // patched below
  }
  Bytes pixels;
  for (Bytes row : s.rows) {
    row.resize((row.size() + 3) / 4 * 4, 0);
    pixels.insert(pixels.end(), row.begin(), row.end());
  }
  Bytes after_header;
  if (s.header_size == 40) for (uint32_t m : s.masks) PutLe32(after_header, m);
  after_header.insert(after_header.end(), s.palette.begin(), s.palette.end());

  const uint32_t pixel_offset = static_cast<uint32_t>(14 + 4 + header.size() + after_header.size());
  if (s.header_size == 124) {
    Bytes tail;
    PutLe32(tail, 4);
    PutLe32(tail, static_cast<uint32_t>(s.profile.empty() ? 0 : pixel_offset + pixels.size() - 14));
    PutLe32(tail, static_cast<uint32_t>(s.profile.size()));
    PutLe32(tail, 0);
    std::copy(tail.begin(), tail.end(), header.end() - 16);
  }
  Bytes file = {'B', 'M'};
  PutLe32(file, static_cast<uint32_t>(pixel_offset + pixels.size() + s.profile.size()));
  PutLe32(file, 0);
  PutLe32(file, pixel_offset);
  PutLe32(file, s.header_size);
  file.insert(file.end(), header.begin(), header.end());
  file.insert(file.end(), after_header.begin(), after_header.end());
  file.insert(file.end(), pixels.begin(), pixels.end());
  file.insert(file.end(), s.profile.begin(), s.profile.end());
  return file;
}

}  // namespace repng::test
