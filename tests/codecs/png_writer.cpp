#include "codecs/png_writer.h"

#include <zlib.h>

#include <stdexcept>

namespace repng::test {
namespace {

uint32_t ChannelsOf(uint8_t color_type) {
  switch (color_type) {
    case 0: case 3: return 1;
    case 4: return 2;
    case 2: return 3;
    default: return 4;
  }
}

// Filter type 0 rows of the given sub-image, bits packed high first.
void AppendRows(const PngSpec& spec, uint32_t x0, uint32_t y0, uint32_t dx, uint32_t dy,
                Bytes& raw) {
  const uint32_t channels = ChannelsOf(spec.color_type);
  for (uint32_t y = y0; y < spec.height; y += dy) {
    if (x0 >= spec.width) return;
    raw.push_back(0);
    uint32_t acc = 0, nbits = 0;
    for (uint32_t x = x0; x < spec.width; x += dx) {
      for (uint32_t c = 0; c < channels; ++c) {
        const uint32_t v = spec.samples[(static_cast<size_t>(y) * spec.width + x) * channels + c];
        if (spec.bit_depth == 16) {
          PutBe16(raw, v);
          continue;
        }
        acc = (acc << spec.bit_depth) | v;
        nbits += spec.bit_depth;
        if (nbits == 8) {
          raw.push_back(static_cast<uint8_t>(acc));
          acc = nbits = 0;
        }
      }
    }
    if (nbits > 0) raw.push_back(static_cast<uint8_t>(acc << (8 - nbits)));
  }
}

}  // namespace

Bytes ZlibCompress(const Bytes& data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  Bytes out(size);
  if (compress(out.data(), &size, data.data(), static_cast<uLong>(data.size())) != Z_OK) {
    throw std::runtime_error("compress");
  }
  out.resize(size);
  return out;
}

Bytes AppendChunk(Bytes png, const std::string& type, const Bytes& data) {
  PutBe32(png, static_cast<uint32_t>(data.size()));
  const size_t type_at = png.size();
  PutText(png, type);
  png.insert(png.end(), data.begin(), data.end());
  const uLong crc = crc32(0, png.data() + type_at, static_cast<uInt>(png.size() - type_at));
  PutBe32(png, static_cast<uint32_t>(crc));
  return png;
}

Bytes MakePng(const PngSpec& spec) {
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes ihdr;
  PutBe32(ihdr, spec.width);
  PutBe32(ihdr, spec.height);
  ihdr.insert(ihdr.end(), {spec.bit_depth, spec.color_type, 0, 0, spec.interlaced ? uint8_t{1} : uint8_t{0}});
  png = AppendChunk(png, "IHDR", ihdr);
  for (const auto& [type, data] : spec.before_idat) png = AppendChunk(png, type, data);
  if (!spec.palette.empty()) png = AppendChunk(png, "PLTE", spec.palette);

  Bytes raw;
  if (spec.interlaced) {
    static constexpr uint32_t kPasses[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                               {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    for (const auto& p : kPasses) AppendRows(spec, p[0], p[1], p[2], p[3], raw);
  } else {
    AppendRows(spec, 0, 0, 1, 1, raw);
  }
  png = AppendChunk(png, "IDAT", ZlibCompress(raw));
  for (const auto& [type, data] : spec.after_idat) png = AppendChunk(png, type, data);
  return AppendChunk(png, "IEND", {});
}

}  // namespace repng::test
