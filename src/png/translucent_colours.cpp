#include "png/translucent_colours.h"

#include <algorithm>
#include <array>
#include <vector>

#include "platform/gdiplus/pixel_math.h"

namespace repng::png {

ChannelRange StraightRangeOf(uint32_t premultiplied, uint32_t alpha) {
  // PremultiplyChannel(c, a) = (c * a + 127) / 255 grows with c, so the
  // colours that give p are those with 255 p - 127 <= c a <= 255 p + 127.
  const int64_t low_product = 255 * int64_t{premultiplied} - 127;
  const int64_t low = low_product <= 0 ? 0 : (low_product + alpha - 1) / alpha;
  const int64_t high = (255 * int64_t{premultiplied} + 127) / alpha;
  return {static_cast<uint8_t>(std::min<int64_t>(low, 255)), static_cast<uint8_t>(std::min<int64_t>(high, 255))};
}

bool HasTranslucentPixels(const StraightImage& image) {
  return std::any_of(image.argb.begin(), image.argb.end(), [](uint32_t argb) {
    const uint32_t alpha = pixel::AlphaOf(argb);
    return alpha != 0 && alpha != 255;
  });
}

namespace {

constexpr uint32_t kChannelShifts[3] = {16, 8, 0};

// The pixels of each alpha from 1 to 254, in raster order.
std::vector<uint32_t> TranslucentPixelsByAlpha(const StraightImage& image, std::array<size_t, 256>* starts) {
  std::array<size_t, 256> counts{};
  for (const uint32_t argb : image.argb) ++counts[pixel::AlphaOf(argb)];
  size_t total = 0;
  for (uint32_t alpha = 254; alpha >= 1; --alpha) {
    (*starts)[alpha] = total;
    total += counts[alpha];
  }
  std::vector<uint32_t> order(total);
  std::array<size_t, 256> next = *starts;
  for (size_t i = 0; i < image.argb.size(); ++i) {
    const uint32_t alpha = pixel::AlphaOf(image.argb[i]);
    if (alpha != 0 && alpha != 255) order[next[alpha]++] = static_cast<uint32_t>(i);
  }
  return order;
}

}  // namespace

StraightImage SmoothTranslucentColours(const StraightImage& image) {
  StraightImage smooth = image;
  std::array<size_t, 256> starts{};
  // Settled: opaque pixels at once, translucent ones as their turn comes.
  // Fully transparent pixels carry no colour to follow.
  std::vector<bool> settled(image.argb.size());
  for (size_t i = 0; i < image.argb.size(); ++i) settled[i] = pixel::AlphaOf(image.argb[i]) == 255;

  const std::vector<uint32_t> order = TranslucentPixelsByAlpha(image, &starts);
  const size_t width = image.width;
  for (const uint32_t index : order) {
    const size_t x = index % width;
    const size_t neighbours[4] = {x > 0 ? index - 1 : index, index >= width ? index - width : index,
                                  x + 1 < width ? index + 1 : index,
                                  index + width < image.argb.size() ? index + width : index};
    uint32_t sums[3] = {0, 0, 0};
    uint32_t count = 0;
    for (const size_t n : neighbours) {
      if (n == index || !settled[n]) continue;
      for (int c = 0; c < 3; ++c) sums[c] += (smooth.argb[n] >> kChannelShifts[c]) & 0xFF;
      ++count;
    }
    settled[index] = true;
    if (count == 0) continue;  // nothing settled nearby: the plain unpremultiplied colour
    const uint32_t premultiplied = pixel::Premultiply(image.argb[index]);
    const uint32_t alpha = pixel::AlphaOf(premultiplied);
    uint32_t chosen = alpha << 24;
    for (int c = 0; c < 3; ++c) {
      const ChannelRange range = StraightRangeOf((premultiplied >> kChannelShifts[c]) & 0xFF, alpha);
      const uint32_t mean = (sums[c] + count / 2) / count;
      chosen |= std::clamp<uint32_t>(mean, range.low, range.high) << kChannelShifts[c];
    }
    smooth.argb[index] = chosen;
  }
  return smooth;
}

}  // namespace repng::png
