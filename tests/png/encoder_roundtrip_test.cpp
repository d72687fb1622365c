// Round trips through the whole encoder, checked by an independent decoder.
#include <gtest/gtest.h>

#include <functional>
#include <regex>

#include "png/output_verification.h"
#include "png/png_encoder.h"
#include "png/png_test_support.h"

namespace repng::png {
namespace {

// Straight ARGB pixels as the premultiplied BGRA rows the encoder takes, each
// row followed by `padding` bytes the encoder must not read.
std::vector<uint8_t> ToPargbBytes(const std::vector<uint32_t>& straight, uint32_t width, size_t padding = 0) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < straight.size(); ++i) {
    const uint32_t p = pixel::Premultiply(straight[i]);
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<uint8_t>(p >> shift));
    if ((i + 1) % width == 0) bytes.insert(bytes.end(), padding, 0xEE);
  }
  return bytes;
}

// Encodes `straight` (width x height) twice and decodes the result; fails the
// test when encoding fails or is not repeatable, when a chunk other than the
// layout's is written, or when the pixels differ.
testing::DecodedPng RoundTrip(const std::vector<uint32_t>& straight, uint32_t width, uint32_t height,
                              size_t padding = 0) {
  const std::vector<uint8_t> pargb = ToPargbBytes(straight, width, padding);
  const size_t stride = size_t{width} * 4 + padding;
  std::vector<uint8_t> png, again;
  EXPECT_TRUE(EncodePargbToPng(pargb.data(), width, height, stride, &png));
  EXPECT_TRUE(EncodePargbToPng(pargb.data(), width, height, stride, &again));
  EXPECT_EQ(png, again);  // workers never change the outcome
  const testing::DecodedPng decoded = testing::DecodeWithSpng(png);
  EXPECT_TRUE(std::regex_match(decoded.chunks, std::regex("IHDR (PLTE )?(tRNS )?(IDAT )+IEND"))) << decoded.chunks;
  EXPECT_EQ(decoded.header.width, width);
  EXPECT_EQ(decoded.header.height, height);
  EXPECT_EQ(decoded.premultiplied, testing::Premultiplied(straight));
  return decoded;
}

uint32_t Noise(uint32_t i) {
  uint32_t x = i * 2654435761u + 12345u;
  x ^= x >> 13;
  x *= 0x5bd1e995u;
  return x ^ (x >> 15);
}

TEST(EncoderRoundTrip, ChoosesTheReducedLayoutOnlyWhereItIsExact) {
  const auto opaque = [](uint32_t i) { return 0xFF000000u | (Noise(i) & 0xFFFFFF); };
  const auto translucent = [](uint32_t i) {
    const uint32_t alpha = Noise(i) >> 24;
    return alpha == 0 ? 0 : (alpha << 24 | (Noise(i + 7) & 0xFFFFFF));
  };
  // Every colour once, then in an order without a period deflate could use.
  const auto colours256 = [&](uint32_t i) { return opaque(i < 256 ? i : Noise(i) % 256); };
  const auto colours257 = [&](uint32_t i) { return i == 300 ? opaque(1000) : colours256(i); };
  const auto two_grays = [](uint32_t i) { return Noise(i) & 1 ? 0xFFFFFFFFu : 0xFF000000u; };
  struct Case {
    uint32_t width, height;
    std::function<uint32_t(uint32_t)> pixel;
    const char* chunks;
    int color_type, bit_depth;
  };
  // 64 colours on 64 pixels stay truecolour: PLTE alone would outweigh the RGB data.
  for (const Case& c : {Case{40, 30, opaque, "IHDR IDAT IEND", SPNG_COLOR_TYPE_TRUECOLOR, 8},
                        Case{8, 8, opaque, "IHDR IDAT IEND", SPNG_COLOR_TYPE_TRUECOLOR, 8},
                        Case{30, 40, translucent, "IHDR IDAT IEND", SPNG_COLOR_TYPE_TRUECOLOR_ALPHA, 8},
                        Case{48, 48, colours256, "IHDR PLTE IDAT IEND", SPNG_COLOR_TYPE_INDEXED, 8},
                        Case{48, 48, colours257, "IHDR IDAT IEND", SPNG_COLOR_TYPE_TRUECOLOR, 8},
                        Case{33, 20, two_grays, "IHDR IDAT IEND", SPNG_COLOR_TYPE_GRAYSCALE, 1}}) {
    std::vector<uint32_t> pixels(c.width * c.height);
    for (uint32_t i = 0; i < pixels.size(); ++i) pixels[i] = c.pixel(i);
    SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height);
    const testing::DecodedPng decoded = RoundTrip(pixels, c.width, c.height);
    EXPECT_EQ(decoded.chunks, c.chunks);
    EXPECT_EQ(decoded.header.color_type, c.color_type);
    EXPECT_EQ(decoded.header.bit_depth, c.bit_depth);
  }
}

TEST(EncoderRoundTrip, ExtremeShapesWithPaddedRows) {
  const std::vector<std::pair<uint32_t, uint32_t>> shapes = {{1, 1}, {1, 37}, {37, 1}, {64, 3}, {3, 64}};
  for (const auto& [width, height] : shapes) {
    std::vector<uint32_t> pixels(width * height);
    for (uint32_t i = 0; i < pixels.size(); ++i) pixels[i] = i % 5 == 0 ? 0 : 0x80000000u | (Noise(i) & 0x7F7F7F);
    RoundTrip(pixels, width, height, 12);
  }
}

TEST(OutputVerification, RejectsAFileThatDiffers) {
  const std::vector<uint32_t> pixels = {0xFF102030u, 0x80402010u, 0, 0xFFFFFFFFu};
  const std::vector<uint8_t> pargb = ToPargbBytes(pixels, 2);
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
