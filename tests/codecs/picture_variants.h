// One picture of each format and colour variant that the decoders accept:
// made by ImageMagick where it can, by hand where it cannot.
#pragma once

#include <string>
#include <vector>

#include "codecs/fixture_bytes.h"

namespace repng::test {

struct PictureVariant {
  std::string format;  // png, bmp, gif, jpeg or tiff
  std::string name;
  Bytes bytes;
};

std::vector<PictureVariant> PictureVariants();

}  // namespace repng::test
