#include "codecs/fixture_bytes.h"

namespace repng::test {

Bytes MakeIccProfile(const std::string& description) {
  Bytes tag;
  PutText(tag, "desc");
  PutBe32(tag, 0);
  PutBe32(tag, static_cast<uint32_t>(description.size() + 1));
  PutText(tag, description);
  tag.push_back(0);

  Bytes icc(128, 0);
  const uint32_t tag_offset = 128 + 4 + 12;
  const uint32_t total = tag_offset + static_cast<uint32_t>(tag.size());
  for (int i = 0; i < 4; ++i) icc[static_cast<size_t>(i)] = static_cast<uint8_t>(total >> (24 - 8 * i));
  const std::string rgb = "RGB ", acsp = "acsp";
  for (size_t i = 0; i < 4; ++i) {
    icc[16 + i] = static_cast<uint8_t>(rgb[i]);
    icc[36 + i] = static_cast<uint8_t>(acsp[i]);
  }
  PutBe32(icc, 1);
  PutText(icc, "desc");
  PutBe32(icc, tag_offset);
  PutBe32(icc, static_cast<uint32_t>(tag.size()));
  icc.insert(icc.end(), tag.begin(), tag.end());
  return icc;
}

Bytes MakeExifTiff(uint16_t orientation) {
  Bytes t;
  PutText(t, "II");
  PutLe16(t, 42);
  PutLe32(t, 8);
  PutLe16(t, 1);
  PutLe16(t, 274);
  PutLe16(t, 3);
  PutLe32(t, 1);
  PutLe16(t, orientation);
  PutLe16(t, 0);
  PutLe32(t, 0);
  return t;
}

}  // namespace repng::test
