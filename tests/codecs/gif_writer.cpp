#include "codecs/gif_writer.h"

#include <algorithm>

namespace repng::test {
namespace {

// The size field of a palette flag byte: 2^(field + 1) entries.
uint8_t SizeField(size_t palette_bytes) {
  uint8_t field = 0;
  while ((2u << field) * 3 < palette_bytes) ++field;
  return field;
}

// Code size 8 with a clear code before every second pixel, so that codes
// stay 9 bits wide whatever the palette and any index can be written.
Bytes LiteralLzw(const std::vector<uint8_t>& pixels) {
  Bytes out;
  uint32_t bits = 0, count = 0;
  const auto put = [&](uint32_t code) {
    for (bits |= code << count, count += 9; count >= 8; bits >>= 8, count -= 8) out.push_back(uint8_t(bits));
  };
  for (size_t i = 0; i < pixels.size(); ++i) {
    if (i % 2 == 0) put(256);
    put(pixels[i]);
  }
  put(257);
  if (count > 0) out.push_back(uint8_t(bits));
  return out;
}

}  // namespace

Bytes GifHeader(uint16_t width, uint16_t height, const Bytes& global_palette) {
  Bytes gif;
  PutText(gif, "GIF89a");
  PutLe16(gif, width);
  PutLe16(gif, height);
  gif.insert(gif.end(), {global_palette.empty() ? uint8_t(0) : uint8_t(0x80 | SizeField(global_palette.size())), 0, 0});
  gif.insert(gif.end(), global_palette.begin(), global_palette.end());
  return gif;
}

void AppendGifFrame(Bytes& gif, const GifFrame& frame) {
  if (frame.transparent_index >= 0) gif.insert(gif.end(), {0x21, 0xF9, 4, 1, 0, 0, uint8_t(frame.transparent_index), 0});
  gif.push_back(0x2C);
  for (const uint16_t field : {frame.left, frame.top, frame.width, frame.height}) PutLe16(gif, field);
  const uint8_t local = frame.local_palette.empty() ? 0 : uint8_t(0x80 | SizeField(frame.local_palette.size()));
  gif.push_back(local);
  gif.insert(gif.end(), frame.local_palette.begin(), frame.local_palette.end());

  gif.push_back(8);
  const Bytes lzw = LiteralLzw(frame.indices);
  for (size_t at = 0; at < lzw.size(); at += 255) {
    const size_t n = std::min<size_t>(255, lzw.size() - at);
    gif.push_back(uint8_t(n));
    gif.insert(gif.end(), lzw.begin() + long(at), lzw.begin() + long(at + n));
  }
  gif.push_back(0);
}

Bytes MakeGif(uint16_t width, uint16_t height, const Bytes& global_palette, const std::vector<GifFrame>& frames) {
  Bytes gif = GifHeader(width, height, global_palette);
  for (const GifFrame& frame : frames) AppendGifFrame(gif, frame);
  EndGif(gif);
  return gif;
}

}  // namespace repng::test
