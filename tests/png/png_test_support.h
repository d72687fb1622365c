// Helpers for the PNG encoder's tests: pictures in, independent decoding out.
#pragma once

#include <spng.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/gdiplus/pixel_math.h"

namespace repng::png::testing {

// Straight ARGB pixels, top-down, in the premultiplied BGRA bytes the
// encoder takes (stride = width * 4 unless given).
inline std::vector<uint8_t> ToPargbBytes(const std::vector<uint32_t>& straight) {
  std::vector<uint8_t> bytes;
  for (const uint32_t argb : straight) {
    const uint32_t p = pixel::Premultiply(argb);
    bytes.push_back(static_cast<uint8_t>(p));
    bytes.push_back(static_cast<uint8_t>(p >> 8));
    bytes.push_back(static_cast<uint8_t>(p >> 16));
    bytes.push_back(static_cast<uint8_t>(p >> 24));
  }
  return bytes;
}

struct DecodedPng {
  bool ok = false;
  spng_ihdr header{};
  std::vector<uint32_t> premultiplied;  // 0xAARRGGBB
};

// Decodes with libspng, not with the library under test.
inline DecodedPng DecodeWithSpng(const std::vector<uint8_t>& png) {
  DecodedPng result;
  std::unique_ptr<spng_ctx, decltype(&spng_ctx_free)> context(spng_ctx_new(0), &spng_ctx_free);
  if (spng_set_png_buffer(context.get(), png.data(), png.size()) != 0) return result;
  if (spng_get_ihdr(context.get(), &result.header) != 0) return result;
  size_t size = 0;
  if (spng_decoded_image_size(context.get(), SPNG_FMT_RGBA8, &size) != 0) return result;
  std::vector<uint8_t> rgba(size);
  if (spng_decode_image(context.get(), rgba.data(), size, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS) != 0) {
    return result;
  }
  for (size_t i = 0; i + 3 < rgba.size(); i += 4) {
    const uint32_t argb = uint32_t{rgba[i + 3]} << 24 | uint32_t{rgba[i]} << 16 |
                          uint32_t{rgba[i + 1]} << 8 | rgba[i + 2];
    result.premultiplied.push_back(pixel::Premultiply(argb));
  }
  result.ok = true;
  return result;
}

// The chunk types of a PNG file in order, or empty when the framing is broken.
inline std::vector<std::string> ChunkTypes(const std::vector<uint8_t>& png) {
  std::vector<std::string> types;
  size_t at = 8;
  while (at + 12 <= png.size()) {
    const size_t length = size_t{png[at]} << 24 | size_t{png[at + 1]} << 16 |
                          size_t{png[at + 2]} << 8 | png[at + 3];
    types.emplace_back(reinterpret_cast<const char*>(&png[at + 4]), 4);
    at += 12 + length;
  }
  if (at != png.size()) return {};
  return types;
}

inline std::vector<uint32_t> Premultiplied(const std::vector<uint32_t>& straight) {
  std::vector<uint32_t> out;
  for (const uint32_t argb : straight) out.push_back(pixel::Premultiply(argb));
  return out;
}

}  // namespace repng::png::testing
