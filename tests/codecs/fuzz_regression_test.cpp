// Inputs the fuzzers once broke the decoders with: every decoder must still
// keep its contract on them (sanitizer builds catch the rest).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/gdiplus/codecs/image_decoder.h"

namespace repng::codecs {
namespace {

TEST(FuzzRegressions, EveryDecoderKeepsItsContract) {
  using Decoder = DecodeResult (*)(const uint8_t*, size_t, DecodedImage*);
  const Decoder decoders[] = {DecodeImage, DecodePng, DecodeBmp, DecodeGif, DecodeJpeg, DecodeTiff};
  for (const auto& entry : std::filesystem::directory_iterator(REPNG_FUZZ_REGRESSIONS)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const Decoder decode : decoders) {
      DecodedImage image;
      const DecodeResult result = decode(bytes.data(), bytes.size(), &image);
      if (result == DecodeResult::kOk) {
        EXPECT_EQ(image.argb.size(), static_cast<size_t>(image.width) * image.height) << entry.path();
      } else {
        EXPECT_TRUE(image.argb.empty() && image.width == 0 && image.height == 0) << entry.path();
      }
    }
  }
}

}  // namespace
}  // namespace repng::codecs
