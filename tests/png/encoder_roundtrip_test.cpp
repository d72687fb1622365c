// Round trips through the whole encoder, checked by an independent decoder.
#include <gtest/gtest.h>

#include "platform/gdiplus/png/png_encoder.h"
#include "png/png_test_support.h"

namespace repng::png {
namespace {

using testing::ChunkTypes;
using testing::DecodeWithSpng;
using testing::Premultiplied;
using testing::ToPargbBytes;

struct Outcome {
  testing::DecodedPng decoded;
  std::vector<std::string> chunks;
};

// Encodes `straight` (width x height) and decodes the result; fails the test
// when encoding fails or the pixels differ.
Outcome RoundTrip(const std::vector<uint32_t>& straight, uint32_t width, uint32_t height) {
  const std::vector<uint8_t> pargb = ToPargbBytes(straight);
  std::vector<uint8_t> png;
  Outcome outcome;
  EXPECT_TRUE(EncodePargbToPng(pargb.data(), width, height, size_t{width} * 4, &png));
  outcome.decoded = DecodeWithSpng(png);
  outcome.chunks = ChunkTypes(png);
  EXPECT_TRUE(outcome.decoded.ok);
  EXPECT_EQ(outcome.decoded.header.width, width);
  EXPECT_EQ(outcome.decoded.header.height, height);
  EXPECT_EQ(outcome.decoded.premultiplied, Premultiplied(straight));
  return outcome;
}

uint32_t Noise(uint32_t i) {
  uint32_t x = i * 2654435761u + 12345u;
  x ^= x >> 13;
  x *= 0x5bd1e995u;
  return x ^ (x >> 15);
}

TEST(EncoderRoundTrip, OpaqueManyColoursIsRgb) {
  std::vector<uint32_t> pixels;
  for (uint32_t i = 0; i < 40 * 30; ++i) pixels.push_back(0xFF000000u | (Noise(i) & 0xFFFFFF));
  const Outcome outcome = RoundTrip(pixels, 40, 30);
  EXPECT_EQ(outcome.decoded.header.color_type, SPNG_COLOR_TYPE_TRUECOLOR);
  EXPECT_EQ(outcome.chunks, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
}

TEST(EncoderRoundTrip, TranslucentManyColoursIsRgba) {
  std::vector<uint32_t> pixels;
  for (uint32_t i = 0; i < 30 * 40; ++i) {
    const uint32_t alpha = Noise(i) >> 24;
    pixels.push_back(alpha == 0 ? 0 : (alpha << 24 | (Noise(i + 7) & 0xFFFFFF)));
  }
  const Outcome outcome = RoundTrip(pixels, 30, 40);
  EXPECT_EQ(outcome.decoded.header.color_type, SPNG_COLOR_TYPE_TRUECOLOR_ALPHA);
}

TEST(EncoderRoundTrip, RejectsColourAboveAlpha) {
  const std::vector<uint8_t> pargb = {10, 20, 200, 100};  // red 200 over alpha 100
  std::vector<uint8_t> png = {1, 2, 3};
  EXPECT_FALSE(EncodePargbToPng(pargb.data(), 1, 1, 4, &png));
  EXPECT_TRUE(png.empty());
}

TEST(EncoderRoundTrip, RejectsBadSizes) {
  const std::vector<uint8_t> pargb(16, 0xFF);
  std::vector<uint8_t> png;
  EXPECT_FALSE(EncodePargbToPng(pargb.data(), 0, 1, 4, &png));
  EXPECT_FALSE(EncodePargbToPng(pargb.data(), 2, 2, 4, &png));  // stride below a row
  EXPECT_FALSE(EncodePargbToPng(pargb.data(), 16385, 16384, 16385 * 4, &png));
  EXPECT_FALSE(EncodePargbToPng(nullptr, 1, 1, 4, &png));
}

}  // namespace
}  // namespace repng::png
