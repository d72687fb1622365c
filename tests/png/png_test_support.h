// Helpers for the PNG encoder's tests: independent decoding of what it wrote.
#pragma once

#include <spng.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/gdiplus/pixel_math.h"

namespace repng::png::testing {

inline std::vector<uint32_t> Premultiplied(const std::vector<uint32_t>& straight) {
  std::vector<uint32_t> out;
  for (const uint32_t argb : straight) out.push_back(pixel::Premultiply(argb));
  return out;
}

// The chunk types of a PNG file in order, separated by spaces, or empty when
// the framing is broken.
inline std::string ChunkSequence(const std::vector<uint8_t>& png) {
  std::string types;
  size_t at = 8;
  while (at + 12 <= png.size()) {
    const size_t length = size_t{png[at]} << 24 | size_t{png[at + 1]} << 16 |
                          size_t{png[at + 2]} << 8 | png[at + 3];
    types.append(types.empty() ? "" : " ").append(reinterpret_cast<const char*>(&png[at + 4]), 4);
    at += 12 + length;
  }
  return at == png.size() ? types : std::string();
}

struct DecodedPng {
  std::string chunks;  // as ChunkSequence gives them
  spng_ihdr header{};
  std::vector<uint32_t> premultiplied;  // 0xAARRGGBB; empty when libspng refuses the file
  std::vector<uint32_t> straight;       // as stored, fully transparent pixels included
};

// Decodes with libspng, not with the library under test.
inline DecodedPng DecodeWithSpng(const std::vector<uint8_t>& png) {
  DecodedPng result{ChunkSequence(png), {}, {}, {}};
  std::unique_ptr<spng_ctx, decltype(&spng_ctx_free)> context(spng_ctx_new(0), &spng_ctx_free);
  size_t size = 0;
  if (spng_set_png_buffer(context.get(), png.data(), png.size()) != 0 ||
      spng_get_ihdr(context.get(), &result.header) != 0 ||
      spng_decoded_image_size(context.get(), SPNG_FMT_RGBA8, &size) != 0) {
    return result;
  }
  std::vector<uint8_t> rgba(size);
  if (spng_decode_image(context.get(), rgba.data(), size, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS) != 0) {
    return result;
  }
  for (size_t i = 0; i + 3 < rgba.size(); i += 4) {
    const uint32_t argb = uint32_t{rgba[i + 3]} << 24 | uint32_t{rgba[i]} << 16 |
                          uint32_t{rgba[i + 1]} << 8 | rgba[i + 2];
    result.premultiplied.push_back(pixel::Premultiply(argb));
    result.straight.push_back(argb);
  }
  return result;
}

}  // namespace repng::png::testing
