#include "codecs/fixture_bytes.h"

namespace repng::test {

Bytes MakeIccProfile(const std::string& description) {
  const uint32_t tag_offset = 128 + 4 + 12, tag_size = uint32_t(12 + description.size() + 1);
  Bytes icc;
  PutBe32(icc, tag_offset + tag_size);
  icc.resize(16, 0);
  PutText(icc, "RGB ");
  icc.resize(36, 0);
  PutText(icc, "acsp");
  icc.resize(128, 0);
  for (const uint32_t field : {1u, 0x64657363u /* desc */, tag_offset, tag_size}) PutBe32(icc, field);
  PutText(icc, "desc");
  PutBe32(icc, 0);
  PutBe32(icc, uint32_t(description.size() + 1));
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
