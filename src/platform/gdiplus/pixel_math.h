// Conversions between straight and premultiplied 32-bit pixels.
//
// A pixel is a uint32_t 0xAARRGGBB; in memory on a little-endian machine its
// bytes are blue, green, red, alpha, as in the 32bpp GDI and GDI+ formats.
// Both conversions round to nearest, and Premultiply(Unpremultiply(p)) == p
// for every valid premultiplied pixel (no channel above alpha), which is what
// makes the premultiplied path lossless in premultiplied terms.
#pragma once

#include <cstdint>

namespace repng::pixel {

inline uint32_t AlphaOf(uint32_t argb) { return argb >> 24; }

inline uint32_t PremultiplyChannel(uint32_t c, uint32_t a) { return (c * a + 127) / 255; }

inline uint32_t UnpremultiplyChannel(uint32_t p, uint32_t a) {
  const uint32_t c = (p * 255 + a / 2) / a;
  return c > 255 ? 255 : c;
}

inline uint32_t Premultiply(uint32_t argb) {
  const uint32_t a = argb >> 24;
  if (a == 255) return argb;
  if (a == 0) return 0;
  return (a << 24) | (PremultiplyChannel((argb >> 16) & 0xFF, a) << 16) |
         (PremultiplyChannel((argb >> 8) & 0xFF, a) << 8) | PremultiplyChannel(argb & 0xFF, a);
}

// Fully transparent pixels come out as 0x00000000.
inline uint32_t Unpremultiply(uint32_t pargb) {
  const uint32_t a = pargb >> 24;
  if (a == 255) return pargb;
  if (a == 0) return 0;
  return (a << 24) | (UnpremultiplyChannel((pargb >> 16) & 0xFF, a) << 16) |
         (UnpremultiplyChannel((pargb >> 8) & 0xFF, a) << 8) | UnpremultiplyChannel(pargb & 0xFF, a);
}

// True when no colour channel exceeds alpha.
inline bool IsValidPremultiplied(uint32_t pargb) {
  const uint32_t a = pargb >> 24;
  return ((pargb >> 16) & 0xFF) <= a && ((pargb >> 8) & 0xFF) <= a && (pargb & 0xFF) <= a;
}

}  // namespace repng::pixel
