// The encoder's bytes do not depend on how many workers it has: the same
// pictures on 1, 2, 3 and 8 workers, whatever the machine's cores.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "png/png_encoder.h"
#include "png/png_test_support.h"

namespace repng::png {
namespace {

uint32_t Hash(uint32_t i) {
  uint32_t x = i * 2654435761u + 7u;
  x ^= x >> 15;
  x *= 0x2c1b3c6du;
  return x ^ (x >> 12);
}

struct Picture {
  std::string name;
  uint32_t width, height;
  std::function<uint32_t(uint32_t x, uint32_t y)> argb;  // straight
};

// Drawn: flat panels and lines of "text", with a noisy corner.
uint32_t Drawn(uint32_t x, uint32_t y) {
  if (x > 300 && y > 150) return 0xFF000000u | (Hash(y * 1000 + x) & 0xFFFFFF);
  if (y % 24 < 12 && x % 9 < 5 && (Hash(y / 24 * 64 + x / 9) & 3) != 0) return 0xFF202020u;
  if (x < 80) return 0xFF3366CCu;
  return x / 100 % 2 == 0 ? 0xFFF0F0E8u : 0xFFE0E8F8u;
}

const Picture kPictures[] = {
    {"tiny with alpha", 5, 3, [](uint32_t x, uint32_t y) { return (x + y) % 3 == 0 ? 0 : 0x80FF8040u + x; }},
    {"palette", 120, 90, [](uint32_t x, uint32_t y) { return 0xFF000000u | (Hash((x / 6) ^ (y / 5 * 31)) % 40) * 0x050301u; }},
    {"translucent gradient", 64, 48,
     [](uint32_t x, uint32_t y) { return (x + y) * 255 / 110 << 24 | x * 4 << 16 | y * 5 << 8 | 0x40u; }},
    {"noise", 300, 200, [](uint32_t x, uint32_t y) { return 0xFF000000u | (Hash(y * 300 + x) & 0xFFFFFF); }},
    {"drawn, 300 KB", 400, 250, Drawn},
};

TEST(WorkerCount, TheBytesAreTheSameOnOneTwoThreeAndEightWorkers) {
  for (const Picture& picture : kPictures) {
    SCOPED_TRACE(picture.name);
    std::vector<uint32_t> straight;
    std::vector<uint8_t> pargb;
    for (uint32_t y = 0; y < picture.height; ++y) {
      for (uint32_t x = 0; x < picture.width; ++x) {
        const uint32_t argb = picture.argb(x, y);
        straight.push_back(argb >> 24 == 0 ? 0 : argb);
        const uint32_t p = pixel::Premultiply(straight.back());
        for (int shift = 0; shift < 32; shift += 8) pargb.push_back(static_cast<uint8_t>(p >> shift));
      }
    }
    std::vector<uint8_t> alone;
    ASSERT_TRUE(EncodePargbToPngOn(1, pargb.data(), picture.width, picture.height, picture.width * 4, &alone));
    EXPECT_EQ(testing::DecodeWithSpng(alone).premultiplied, testing::Premultiplied(straight));
    for (const unsigned workers : {2u, 3u, 8u}) {
      std::vector<uint8_t> png;
      ASSERT_TRUE(EncodePargbToPngOn(workers, pargb.data(), picture.width, picture.height, picture.width * 4, &png));
      EXPECT_TRUE(png == alone) << workers << " workers: " << png.size() << " bytes, alone " << alone.size();
    }
  }
}

}  // namespace
}  // namespace repng::png
