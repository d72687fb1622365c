#include "codecs/gif_writer.h"

namespace repng::test {
namespace {

uint8_t SizeField(size_t palette_bytes) {
  uint8_t field = 0;
  while ((2u << field) * 3 < palette_bytes) ++field;
  return field;
}

// LZW with a clear code before every second pixel, so the code width never
// grows: code size 8 (width 9) whatever the palette.
Bytes LiteralLzw(const std::vector<uint8_t>& pixels) {
  constexpr uint32_t kClear = 256, kEnd = 257, kWidth = 9;
  Bytes out;
  uint32_t acc = 0, bits = 0;
  const auto put = [&](uint32_t code) {
    acc |= code << bits;
    bits += kWidth;
    while (bits >= 8) {
      out.push_back(static_cast<uint8_t>(acc));
      acc >>= 8;
      bits -= 8;
    }
  };
  for (size_t i = 0; i < pixels.size(); ++i) {
    if (i % 2 == 0) put(kClear);
    put(pixels[i]);
  }
  put(kEnd);
  if (bits > 0) out.push_back(static_cast<uint8_t>(acc));
  return out;
}

}  // namespace

Bytes GifHeader(uint16_t width, uint16_t height, const Bytes& global_palette) {
  Bytes gif;
  PutText(gif, "GIF89a");
  PutLe16(gif, width);
  PutLe16(gif, height);
  gif.push_back(global_palette.empty() ? 0 : static_cast<uint8_t>(0x80 | SizeField(global_palette.size())));
  gif.push_back(0);
  gif.push_back(0);
  gif.insert(gif.end(), global_palette.begin(), global_palette.end());
  return gif;
}

void AppendGifFrame(Bytes& gif, const GifFrame& frame) {
  if (frame.transparent_index >= 0) {
    gif.insert(gif.end(), {0x21, 0xF9, 4, 1, 0, 0, static_cast<uint8_t>(frame.transparent_index), 0});
  }
  gif.push_back(0x2C);
  PutLe16(gif, frame.left);
  PutLe16(gif, frame.top);
  PutLe16(gif, frame.width);
  PutLe16(gif, frame.height);
  uint8_t flags = frame.interlaced ? 0x40 : 0;
  if (!frame.local_palette.empty()) flags |= static_cast<uint8_t>(0x80 | SizeField(frame.local_palette.size()));
  gif.push_back(flags);
  gif.insert(gif.end(), frame.local_palette.begin(), frame.local_palette.end());

  std::vector<uint8_t> stream_order;
  if (frame.interlaced) {
    static constexpr uint32_t kPasses[4][2] = {{0, 8}, {4, 8}, {2, 4}, {1, 2}};
    for (const auto& pass : kPasses) {
      for (uint32_t y = pass[0]; y < frame.height; y += pass[1]) {
        const auto row = frame.indices.begin() + static_cast<long>(y) * frame.width;
        stream_order.insert(stream_order.end(), row, row + frame.width);
      }
    }
  } else {
    stream_order = frame.indices;
  }
  gif.push_back(8);
  const Bytes lzw = LiteralLzw(stream_order);
  for (size_t at = 0; at < lzw.size(); at += 255) {
    const size_t n = std::min<size_t>(255, lzw.size() - at);
    gif.push_back(static_cast<uint8_t>(n));
    gif.insert(gif.end(), lzw.begin() + static_cast<long>(at), lzw.begin() + static_cast<long>(at + n));
  }
  gif.push_back(0);
}

}  // namespace repng::test
