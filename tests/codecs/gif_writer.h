// Writes small GIF files by hand (uncompressed-style LZW), so tests can make
// any index, palette and record order.
#pragma once

#include "codecs/fixture_bytes.h"

namespace repng::test {

struct GifFrame {
  uint16_t left = 0, top = 0, width = 1, height = 1;
  Bytes local_palette;  // RGB triples, 2^n of them; empty: use the global one
  std::vector<uint8_t> indices;  // display order, row by row
  int transparent_index = -1;    // written as a graphic control extension
};

Bytes GifHeader(uint16_t width, uint16_t height, const Bytes& global_palette);
void AppendGifFrame(Bytes& gif, const GifFrame& frame);
inline void EndGif(Bytes& gif) { gif.push_back(0x3B); }
Bytes MakeGif(uint16_t width, uint16_t height, const Bytes& global_palette, const std::vector<GifFrame>& frames);

}  // namespace repng::test
