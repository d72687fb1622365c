// Test pictures made and read by ImageMagick's convert, in a scratch folder
// that lives as long as the process.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "codecs/fixture_bytes.h"

namespace repng::test {

// 9 x 7 pixels of varied colour with every alpha level from clear to opaque,
// as convert input arguments.
inline constexpr const char* kMagickSource = "-size 9x7 -depth 8 rgba:source.rgba";

// The bytes of `convert <arguments> <output>`, where output is "FORMAT:name",
// with `inputs` written to the folder first. Throws when convert fails.
Bytes Convert(const std::string& arguments, const std::string& output,
              const std::vector<std::pair<std::string, Bytes>>& inputs = {});

// ImageMagick's own reading of a file: straight RGBA, 4 bytes a pixel.
Bytes ReadWithMagick(const Bytes& file);

}  // namespace repng::test
