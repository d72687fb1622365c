// The colour under translucent pixels: the ranges that premultiply to one
// value, and the smoothing that picks within them.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/gdiplus/pixel_math.h"
#include "png/png_encoder.h"
#include "png/translucent_colours.h"
#include "png/png_test_support.h"

namespace repng::png {
namespace {

TEST(TranslucentColours, RangeHoldsExactlyTheColoursThatPremultiplyToTheValue) {
  for (uint32_t alpha = 1; alpha <= 255; ++alpha) {
    std::vector<int> first(alpha + 1, -1), last(alpha + 1, -1);
    for (uint32_t c = 0; c <= 255; ++c) {
      const uint32_t p = pixel::PremultiplyChannel(c, alpha);
      if (first[p] < 0) first[p] = static_cast<int>(c);
      last[p] = static_cast<int>(c);
    }
    for (uint32_t p = 0; p <= alpha; ++p) {
      if (first[p] < 0) continue;  // no colour gives p: nothing stores it
      const ChannelRange range = StraightRangeOf(p, alpha);
      ASSERT_EQ(range.low, first[p]) << p << " at alpha " << alpha;
      ASSERT_EQ(range.high, last[p]) << p << " at alpha " << alpha;
      const uint32_t unpremultiplied = pixel::UnpremultiplyChannel(p, alpha);
      ASSERT_TRUE(range.low <= unpremultiplied && unpremultiplied <= range.high);
    }
  }
}

// What the encoder starts from: the picture premultiplied, then unpremultiplied.
StraightImage AsTheEncoderSeesIt(uint32_t width, uint32_t height, const std::vector<uint32_t>& straight) {
  StraightImage image{width, height, {}};
  for (const uint32_t argb : straight) image.argb.push_back(pixel::Unpremultiply(pixel::Premultiply(argb)));
  return image;
}

TEST(TranslucentColours, OneColourUnderAnAlphaRampComesBackWhole) {
  constexpr uint32_t kColour = 0xC86432;  // 200, 100, 50
  const std::vector<uint32_t> alphas = {1, 2, 3, 17, 64, 127, 128, 200, 254, 255};
  struct Ramp {
    uint32_t width, height;
    bool rising;
  };
  for (const Ramp& ramp : {Ramp{10, 1, true}, Ramp{10, 1, false}, Ramp{1, 10, true}, Ramp{1, 10, false}}) {
    std::vector<uint32_t> straight;
    for (size_t i = 0; i < alphas.size(); ++i) {
      straight.push_back(alphas[ramp.rising ? i : alphas.size() - 1 - i] << 24 | kColour);
    }
    const StraightImage image = AsTheEncoderSeesIt(ramp.width, ramp.height, straight);
    ASSERT_NE(image.argb, straight);  // unpremultiplying alone does not give it back
    const StraightImage smooth = SmoothTranslucentColours(image);
    EXPECT_EQ(smooth.argb, straight) << ramp.width << "x" << ramp.height << (ramp.rising ? " rising" : " falling");
    EXPECT_EQ(testing::Premultiplied(smooth.argb), testing::Premultiplied(image.argb));
  }
}

TEST(TranslucentColours, KeepsEveryPixelsPremultipliedValueGrayAndTransparency) {
  constexpr uint32_t kWidth = 23, kHeight = 17;
  std::vector<uint32_t> colour, gray;
  for (uint32_t i = 0; i < kWidth * kHeight; ++i) {
    const uint32_t noise = i * 2654435761u ^ (i >> 3) * 40503u;
    const uint32_t alpha = i % 7 == 0 ? 0 : (noise >> 24) % 5 == 0 ? 255 : 1 + noise % 254;
    const uint32_t level = (i % kWidth) * 11 + (noise >> 8) % 3;
    colour.push_back(alpha == 0 ? 0 : alpha << 24 | (noise & 0xFFFFFF));
    gray.push_back(alpha == 0 ? 0 : alpha << 24 | level << 16 | level << 8 | level);
  }
  for (const std::vector<uint32_t>* straight : {&colour, &gray}) {
    const StraightImage image = AsTheEncoderSeesIt(kWidth, kHeight, *straight);
    const StraightImage smooth = SmoothTranslucentColours(image);
    ASSERT_EQ(testing::Premultiplied(smooth.argb), testing::Premultiplied(image.argb));
    for (size_t i = 0; i < image.argb.size(); ++i) {
      const uint32_t alpha = pixel::AlphaOf(image.argb[i]);
      if (alpha == 0 || alpha == 255) {
        EXPECT_EQ(smooth.argb[i], image.argb[i]);
      }
      const uint32_t red = smooth.argb[i] >> 16 & 0xFF, green = smooth.argb[i] >> 8 & 0xFF;
      if (straight == &gray) {
        EXPECT_TRUE(red == green && green == (smooth.argb[i] & 0xFF)) << i;
      }
    }
  }
  EXPECT_FALSE(HasTranslucentPixels(StraightImage{2, 1, {0, 0xFF123456u}}));
  EXPECT_TRUE(HasTranslucentPixels(StraightImage{2, 1, {0, 0xFE123456u}}));
}

TEST(TranslucentColours, TheEncoderStoresTheSmoothColourAndItsOutputIsAFixedPoint) {
  // An anti-aliased disc edge: one colour, alpha falling off with distance.
  constexpr uint32_t kSize = 48;
  std::vector<uint32_t> straight;
  for (uint32_t y = 0; y < kSize; ++y) {
    for (uint32_t x = 0; x < kSize; ++x) {
      const int dx = static_cast<int>(x) - 24, dy = static_cast<int>(y) - 24;
      const int alpha = std::clamp(255 - (dx * dx + dy * dy) / 2, 0, 255);
      straight.push_back(alpha == 0 ? 0 : uint32_t(alpha) << 24 | 0x3A7FD0u);
    }
  }
  std::vector<uint8_t> pargb;
  for (const uint32_t p : testing::Premultiplied(straight)) {
    for (int shift = 0; shift < 32; shift += 8) pargb.push_back(static_cast<uint8_t>(p >> shift));
  }
  std::vector<uint8_t> png;
  ASSERT_TRUE(EncodePargbToPng(pargb.data(), kSize, kSize, kSize * 4, &png));
  const testing::DecodedPng decoded = testing::DecodeWithSpng(png);
  EXPECT_EQ(decoded.premultiplied, testing::Premultiplied(straight));
  EXPECT_EQ(decoded.straight, straight);

  // Its own output, read back and encoded again, gives the same file.
  std::vector<uint8_t> again_pargb;
  for (const uint32_t p : decoded.premultiplied) {
    for (int shift = 0; shift < 32; shift += 8) again_pargb.push_back(static_cast<uint8_t>(p >> shift));
  }
  std::vector<uint8_t> again;
  ASSERT_TRUE(EncodePargbToPng(again_pargb.data(), kSize, kSize, kSize * 4, &again));
  EXPECT_EQ(again, png);
}

}  // namespace
}  // namespace repng::png
