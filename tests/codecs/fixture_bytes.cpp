#include "codecs/fixture_bytes.h"

namespace repng::test {

Bytes MakeIccProfile(const std::string& description) {
  constexpr uint32_t kDesc = 0x64657363, kTagOffset = 128 + 4 + 12;
  const uint32_t tag_size = uint32_t(12 + description.size() + 1);
  Bytes icc(128, 0);
  const auto put_at = [&icc](size_t at, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) icc[at + i] = uint8_t(value >> (24 - 8 * i));
  };
  put_at(0, kTagOffset + tag_size);
  put_at(16, 0x52474220);  // "RGB "
  put_at(36, 0x61637370);  // "acsp"
  // One tag, 'desc', whose text is the description.
  for (const uint32_t field : {1u, kDesc, kTagOffset, tag_size, kDesc, 0u, tag_size - 12}) PutBe32(icc, field);
  PutText(icc, description);
  icc.push_back(0);
  return icc;
}

Bytes MakeExifTiff(uint16_t orientation) {
  // Header, one entry: tag 274, type SHORT, count 1; then no next IFD.
  Bytes tiff = {'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0};
  PutLe16(tiff, orientation);
  tiff.insert(tiff.end(), 6, 0);
  return tiff;
}

}  // namespace repng::test
