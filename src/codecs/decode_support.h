// What every decoder shares: the run frame that keeps refusals and
// allocation failures from leaving anything behind, and the pixel store.
#pragma once

#include <cstdint>
#include <new>

#include "codecs/decoded_image.h"

namespace repng::codecs {

inline uint32_t PackArgb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
  return (a << 24) | (r << 16) | (g << 8) | b;
}

inline constexpr uint32_t kOpaqueBlack = 0xFF000000u;

// Sizes out->argb for width x height pixels of `fill`, after the limit check.
inline DecodeResult AllocatePixels(uint64_t width, uint64_t height, uint32_t fill,
                                   DecodedImage* out) {
  if (!DimensionsAllowed(width, height)) return DecodeResult::kTooLarge;
  out->width = static_cast<uint32_t>(width);
  out->height = static_cast<uint32_t>(height);
  out->argb.assign(static_cast<size_t>(width * height), fill);
  return DecodeResult::kOk;
}

// Runs a decoder body on an emptied *out. Anything but kOk, including an
// allocation failure, leaves *out empty with its memory released.
template <typename Body>
DecodeResult RunDecoder(DecodedImage* out, Body&& body) {
  if (out == nullptr) return DecodeResult::kDamaged;
  *out = DecodedImage{};
  DecodeResult result;
  try {
    result = body(*out);
  } catch (const std::bad_alloc&) {
    result = DecodeResult::kOutOfMemory;
  }
  if (result != DecodeResult::kOk) *out = DecodedImage{};
  return result;
}

}  // namespace repng::codecs
