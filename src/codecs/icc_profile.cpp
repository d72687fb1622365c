#include <string_view>

#include "codecs/byte_order.h"
#include "codecs/color_metadata.h"

namespace repng::codecs {
namespace {

constexpr size_t kIccHeaderSize = 128;
constexpr size_t kTagEntrySize = 12;
constexpr uint32_t kMaxTagCount = 1000;
constexpr uint32_t kSignatureAcsp = 0x61637370;  // 'acsp'
constexpr uint32_t kColorSpaceRgb = 0x52474220;  // 'RGB '
constexpr uint32_t kTagDesc = 0x64657363;        // 'desc'
constexpr uint32_t kTypeDesc = 0x64657363;       // 'desc' (ICC v2 text)
constexpr uint32_t kTypeMluc = 0x6D6C7563;       // 'mluc' (ICC v4 text)

bool AsciiNamesSrgb(const uint8_t* text, size_t length) {
  const std::string_view view(reinterpret_cast<const char*>(text), length);
  return view.find("sRGB") != std::string_view::npos;
}

// UTF-16BE text: look for "sRGB" among code units.
bool Utf16NamesSrgb(const uint8_t* text, size_t length) {
  static constexpr char kNeedle[] = "sRGB";
  const size_t units = length / 2;
  for (size_t start = 0; start + 4 <= units; ++start) {
    bool match = true;
    for (size_t i = 0; i < 4 && match; ++i) {
      match = ReadBe16(text + 2 * (start + i)) == static_cast<uint16_t>(kNeedle[i]);
    }
    if (match) return true;
  }
  return false;
}

bool DescriptionNamesSrgb(const uint8_t* tag, size_t tag_size) {
  if (tag_size < 12) return false;
  const uint32_t type = ReadBe32(tag);
  if (type == kTypeDesc) {
    const uint32_t count = ReadBe32(tag + 8);
    if (!RangeInside(12, count, tag_size)) return false;
    return AsciiNamesSrgb(tag + 12, count);
  }
  if (type == kTypeMluc) {
    if (tag_size < 16) return false;
    const uint32_t records = ReadBe32(tag + 8);
    const uint32_t record_size = ReadBe32(tag + 12);
    if (record_size < 12) return false;
    for (uint32_t i = 0; i < records; ++i) {
      const uint64_t record = 16 + static_cast<uint64_t>(i) * record_size;
      if (!RangeInside(record, 12, tag_size)) return false;
      const uint32_t length = ReadBe32(tag + record + 4);
      const uint32_t offset = ReadBe32(tag + record + 8);
      if (!RangeInside(offset, length, tag_size)) return false;
      if (Utf16NamesSrgb(tag + offset, length)) return true;
    }
  }
  return false;
}

}  // namespace

bool IsSrgbIccProfile(const uint8_t* profile, size_t size) {
  if (profile == nullptr || size < kIccHeaderSize + 4) return false;
  if (ReadBe32(profile + 36) != kSignatureAcsp) return false;
  if (ReadBe32(profile + 16) != kColorSpaceRgb) return false;
  const uint32_t tag_count = ReadBe32(profile + kIccHeaderSize);
  if (tag_count > kMaxTagCount) return false;
  for (uint32_t i = 0; i < tag_count; ++i) {
    const uint64_t entry = kIccHeaderSize + 4 + static_cast<uint64_t>(i) * kTagEntrySize;
    if (!RangeInside(entry, kTagEntrySize, size)) return false;
    if (ReadBe32(profile + entry) != kTagDesc) continue;
    const uint32_t offset = ReadBe32(profile + entry + 4);
    const uint32_t length = ReadBe32(profile + entry + 8);
    if (!RangeInside(offset, length, size)) return false;
    return DescriptionNamesSrgb(profile + offset, length);
  }
  return false;
}

}  // namespace repng::codecs
