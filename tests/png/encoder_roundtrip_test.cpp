// Round trips through the whole encoder, checked by an independent decoder.
#include <gtest/gtest.h>

#include "platform/gdiplus/png/output_verification.h"
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

// Many colours stay truecolour, with alpha only when some pixel needs it; so
// do 64 colours on 64 pixels, where PLTE alone would outweigh the RGB data.
TEST(EncoderRoundTrip, ManyColoursStayTruecolour) {
  struct Case {
    uint32_t width, height;
    bool translucent;
    int color_type;
  };
  for (const Case& c : {Case{40, 30, false, SPNG_COLOR_TYPE_TRUECOLOR}, Case{8, 8, false, SPNG_COLOR_TYPE_TRUECOLOR},
                        Case{30, 40, true, SPNG_COLOR_TYPE_TRUECOLOR_ALPHA}}) {
    std::vector<uint32_t> pixels;
    for (uint32_t i = 0; i < c.width * c.height; ++i) {
      const uint32_t alpha = c.translucent ? Noise(i) >> 24 : 0xFF;
      pixels.push_back(alpha == 0 ? 0 : (alpha << 24 | (Noise(i + 7) & 0xFFFFFF)));
    }
    const Outcome outcome = RoundTrip(pixels, c.width, c.height);
    EXPECT_EQ(outcome.decoded.header.color_type, c.color_type) << c.width << "x" << c.height;
    EXPECT_EQ(outcome.chunks, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
  }
}

void ExpectOnlyLayoutChunks(const std::vector<std::string>& chunks) {
  ASSERT_GE(chunks.size(), 3u);
  EXPECT_EQ(chunks.front(), "IHDR");
  EXPECT_EQ(chunks.back(), "IEND");
  for (const std::string& type : chunks) {
    EXPECT_TRUE(type == "IHDR" || type == "PLTE" || type == "tRNS" || type == "IDAT" || type == "IEND")
        << type;
  }
}

TEST(EncoderRoundTrip, ExtremeShapes) {
  const std::vector<std::pair<uint32_t, uint32_t>> shapes = {{1, 1}, {1, 37}, {37, 1}, {64, 3}, {3, 64}};
  for (const auto& [width, height] : shapes) {
    std::vector<uint32_t> pixels;
    for (uint32_t i = 0; i < width * height; ++i) {
      pixels.push_back(i % 5 == 0 ? 0 : (0x80000000u | (Noise(i) & 0x7F7F7Fu)));
    }
    ExpectOnlyLayoutChunks(RoundTrip(pixels, width, height).chunks);
  }
}

TEST(EncoderRoundTrip, PaletteUpTo256ColoursThenTruecolour) {
  auto colour = [](uint32_t n) { return 0xFF000000u | (Noise(n) & 0xFFFFFF); };
  std::vector<uint32_t> pixels;
  // Every colour once, then in an order without a period deflate could use.
  for (uint32_t i = 0; i < 48 * 48; ++i) pixels.push_back(colour(i < 256 ? i : Noise(i) % 256));
  Outcome outcome = RoundTrip(pixels, 48, 48);
  EXPECT_EQ(outcome.decoded.header.color_type, SPNG_COLOR_TYPE_INDEXED);
  ExpectOnlyLayoutChunks(outcome.chunks);

  pixels[300] = colour(1000);  // a 257th colour
  outcome = RoundTrip(pixels, 48, 48);
  EXPECT_EQ(outcome.decoded.header.color_type, SPNG_COLOR_TYPE_TRUECOLOR);
}

TEST(EncoderRoundTrip, TwoGraysBecomeOneBit) {
  std::vector<uint32_t> pixels;
  for (uint32_t i = 0; i < 33 * 20; ++i) pixels.push_back(Noise(i) & 1 ? 0xFFFFFFFFu : 0xFF000000u);
  const Outcome outcome = RoundTrip(pixels, 33, 20);
  EXPECT_EQ(outcome.decoded.header.bit_depth, 1);
}

TEST(EncoderRoundTrip, ReadsRowsByStrideAndIsRepeatable) {
  const uint32_t width = 19, height = 7;
  const size_t stride = width * 4 + 12;
  std::vector<uint8_t> pargb(stride * height, 0xEE);  // padding a decoder must not see
  std::vector<uint32_t> expected;
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const uint32_t p = pixel::Premultiply(0xC0000000u | (Noise(y * width + x) & 0xFFFFFF));
      expected.push_back(p);
      for (int b = 0; b < 4; ++b) pargb[y * stride + x * 4 + b] = static_cast<uint8_t>(p >> (8 * b));
    }
  }
  std::vector<uint8_t> first, second;
  ASSERT_TRUE(EncodePargbToPng(pargb.data(), width, height, stride, &first));
  ASSERT_TRUE(EncodePargbToPng(pargb.data(), width, height, stride, &second));
  EXPECT_EQ(first, second);  // workers never change the outcome
  EXPECT_EQ(DecodeWithSpng(first).premultiplied, expected);
}

TEST(OutputVerification, RejectsAFileThatDiffers) {
  const std::vector<uint32_t> pixels = {0xFF102030u, 0x80402010u, 0, 0xFFFFFFFFu};
  const std::vector<uint8_t> pargb = ToPargbBytes(pixels);
  std::vector<uint8_t> png;
  ASSERT_TRUE(EncodePargbToPng(pargb.data(), 2, 2, 8, &png));
  EXPECT_TRUE(PngMatchesPargb(png, pargb.data(), 2, 2, 8));
  std::vector<uint8_t> other = pargb;
  other[0] ^= 1;
  EXPECT_FALSE(PngMatchesPargb(png, other.data(), 2, 2, 8));
  EXPECT_FALSE(PngMatchesPargb(png, pargb.data(), 1, 4, 4));
  std::vector<uint8_t> damaged = png;
  damaged[damaged.size() - 20] ^= 0x40;  // inside the image data
  EXPECT_FALSE(PngMatchesPargb(damaged, pargb.data(), 2, 2, 8));
}

TEST(EncoderRoundTrip, RejectsWhatItCannotEncodeExactly) {
  const std::vector<uint8_t> above_alpha = {10, 20, 200, 100};  // red 200 over alpha 100
  std::vector<uint8_t> png = {1, 2, 3};
  EXPECT_FALSE(EncodePargbToPng(above_alpha.data(), 1, 1, 4, &png));
  EXPECT_TRUE(png.empty());
  const std::vector<uint8_t> pargb(16, 0xFF);
  EXPECT_FALSE(EncodePargbToPng(pargb.data(), 0, 1, 4, &png));
  EXPECT_FALSE(EncodePargbToPng(pargb.data(), 2, 2, 4, &png));  // stride below a row
  EXPECT_FALSE(EncodePargbToPng(pargb.data(), 16385, 16384, 16385 * 4, &png));
  EXPECT_FALSE(EncodePargbToPng(nullptr, 1, 1, 4, &png));
}

}  // namespace
}  // namespace repng::png
