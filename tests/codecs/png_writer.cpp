#include "codecs/png_writer.h"

#include <zlib.h>

#include <stdexcept>
#include <utility>

namespace repng::test {
namespace {

// Filter type 0 rows, samples packed high bits first; as many whole rows as
// the samples fill.
Bytes RawRows(const PngSpec& spec) {
  const uint32_t channels = spec.color_type == 2 ? 3 : spec.color_type == 4 ? 2 : spec.color_type == 6 ? 4 : 1;
  const size_t row_samples = size_t(spec.width) * channels;
  Bytes raw;
  for (size_t y = 0; y < spec.height && (y + 1) * row_samples <= spec.samples.size(); ++y) {
    raw.push_back(0);
    uint32_t bits = 0, count = 0;
    for (size_t x = 0; x < row_samples; ++x) {
      const uint32_t sample = spec.samples[y * row_samples + x];
      if (spec.bit_depth == 16) {
        PutBe16(raw, sample);
        continue;
      }
      bits = bits << spec.bit_depth | sample;
      count += spec.bit_depth;
      if (count == 8) {
        raw.push_back(uint8_t(bits));
        bits = count = 0;
      }
    }
    if (count > 0) raw.push_back(uint8_t(bits << (8 - count)));
  }
  return raw;
}

}  // namespace

Bytes ZlibCompress(const Bytes& data) {
  uLongf size = compressBound(uLong(data.size()));
  Bytes out(size);
  if (compress(out.data(), &size, data.data(), uLong(data.size())) != Z_OK) throw std::runtime_error("compress");
  out.resize(size);
  return out;
}

Bytes AppendChunk(Bytes png, const std::string& type, const Bytes& data) {
  PutBe32(png, uint32_t(data.size()));
  const size_t type_at = png.size();
  PutText(png, type);
  png.insert(png.end(), data.begin(), data.end());
  PutBe32(png, uint32_t(crc32(0, png.data() + type_at, uInt(png.size() - type_at))));
  return png;
}

Bytes IccProfile(const std::string& description) {
  constexpr uint32_t kDesc = 0x64657363, kTagOffset = 128 + 4 + 12;
  const uint32_t tag_size = uint32_t(12 + description.size() + 1);
  Bytes icc(128, 0);
  for (const auto& [at, value] : {std::pair<size_t, uint32_t>{0, kTagOffset + tag_size}, {16, 0x52474220}, {36, 0x61637370}})
    for (size_t i = 0; i < 4; ++i) icc[at + i] = uint8_t(value >> (24 - 8 * i));  // size, "RGB ", "acsp"
  for (const uint32_t field : {1u, kDesc, kTagOffset, tag_size, kDesc, 0u, tag_size - 12}) PutBe32(icc, field);
  PutText(icc, description);
  icc.push_back(0);
  return icc;
}

Bytes IccpChunk(const std::string& name, const std::string& description) {
  Bytes data(name.begin(), name.end());
  data.resize(name.size() + 2);  // the name's end, compression method 0
  const Bytes profile = ZlibCompress(IccProfile(description));
  data.insert(data.end(), profile.begin(), profile.end());
  return data;
}

Bytes ExifTiff(uint8_t orientation) {
  return {'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0, orientation, 0, 0, 0, 0, 0, 0, 0};
}

Bytes MakePng(const PngSpec& spec) {
  Bytes ihdr;
  PutBe32(ihdr, spec.width);
  PutBe32(ihdr, spec.height);
  ihdr.insert(ihdr.end(), {spec.bit_depth, spec.color_type, 0, 0, 0});
  Bytes png = AppendChunk({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, "IHDR", ihdr);
  for (const auto& [type, data] : spec.before_idat) png = AppendChunk(png, type, data);
  if (!spec.palette.empty()) png = AppendChunk(png, "PLTE", spec.palette);
  png = AppendChunk(png, "IDAT", ZlibCompress(RawRows(spec)));
  for (const auto& [type, data] : spec.after_idat) png = AppendChunk(png, type, data);
  return AppendChunk(png, "IEND", {});
}

}  // namespace repng::test
