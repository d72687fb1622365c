#include "codecs/byte_order.h"
#include "codecs/color_metadata.h"

namespace repng::codecs {
namespace {

constexpr uint16_t kTagOrientation = 274;
constexpr uint16_t kTypeShort = 3;
constexpr size_t kEntrySize = 12;

}  // namespace

uint32_t ExifOrientation(const uint8_t* tiff, size_t size) {
  if (tiff == nullptr || size < 8) return 1;
  bool little;
  if (tiff[0] == 'I' && tiff[1] == 'I') {
    little = true;
  } else if (tiff[0] == 'M' && tiff[1] == 'M') {
    little = false;
  } else {
    return 1;
  }
  const auto read16 = [&](uint64_t at) { return little ? ReadLe16(tiff + at) : ReadBe16(tiff + at); };
  const auto read32 = [&](uint64_t at) { return little ? ReadLe32(tiff + at) : ReadBe32(tiff + at); };
  if (read16(2) != 42) return 1;
  const uint64_t ifd = read32(4);
  if (!RangeInside(ifd, 2, size)) return 1;
  const uint16_t count = read16(ifd);
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t entry = ifd + 2 + static_cast<uint64_t>(i) * kEntrySize;
    if (!RangeInside(entry, kEntrySize, size)) return 1;
    if (read16(entry) != kTagOrientation) continue;
    if (read16(entry + 2) != kTypeShort || read32(entry + 4) != 1) return 1;
    return read16(entry + 8);
  }
  return 1;
}

}  // namespace repng::codecs
