// Every accepted variant decodes to what ImageMagick reads from the same
// bytes, compared premultiplied as the rest of the program sees them.
#include <gtest/gtest.h>

#include <cstdlib>

#include "codecs/magick.h"
#include "codecs/picture_variants.h"
#include "platform/gdiplus/codecs/image_decoder.h"
#include "platform/gdiplus/pixel_math.h"

namespace repng::codecs {
namespace {

TEST(DecodeVariants, AgreeWithImageMagick) {
  for (const test::PictureVariant& variant : test::PictureVariants()) {
    SCOPED_TRACE(variant.format + " " + variant.name);
    DecodedImage image;
    ASSERT_EQ(DecodeImage(variant.bytes.data(), variant.bytes.size(), &image), DecodeResult::kOk);
    const test::Bytes expected = test::ReadWithMagick(variant.bytes);
    ASSERT_EQ(expected.size(), image.argb.size() * 4);
    // Lossy decoders may round their colour transforms differently.
    const int tolerance = variant.format == "jpeg" ? 3 : 1;
    for (size_t i = 0; i < image.argb.size(); ++i) {
      const uint8_t* rgba = &expected[4 * i];
      const uint32_t want = pixel::Premultiply(uint32_t{rgba[3]} << 24 | rgba[0] << 16 | rgba[1] << 8 | rgba[2]);
      const uint32_t got = pixel::Premultiply(image.argb[i]);
      for (int shift = 0; shift < 32; shift += 8) {
        ASSERT_LE(std::abs(int(got >> shift & 0xFF) - int(want >> shift & 0xFF)), tolerance)
            << "pixel " << i << std::hex << " got " << got << " want " << want;
      }
    }
  }
}

}  // namespace
}  // namespace repng::codecs
