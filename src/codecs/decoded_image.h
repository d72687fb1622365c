// What every decoder of the imaging library produces, and the limits that
// every decoder enforces before it allocates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace repng::codecs {

// 16384 x 16384. A larger picture is refused before any pixel memory is
// allocated, so a small file that claims a vast picture cannot exhaust memory.
// Fuzzing builds lower it, so that inputs claiming vast pictures do not
// spend the fuzzer's time on filling gigabytes.
#ifdef REPNG_FUZZING_MAX_PIXELS
inline constexpr uint64_t kMaxPixels = REPNG_FUZZING_MAX_PIXELS;
#else
inline constexpr uint64_t kMaxPixels = 268435456;
#endif

// A whole still picture: straight (not premultiplied) alpha, pixels
// 0xAARRGGBB, rows top-down with no gap, width * height entries.
struct DecodedImage {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint32_t> argb;
};

enum class DecodeResult {
  kOk,
  kNotRecognised,  // the bytes are not this format (or no known format)
  kDamaged,        // the format is recognised but the data is broken or cut off
  kUnsupported,    // would not survive the 32-bit path: several frames, more
                   // than 8 bits per sample, colour metadata, orientation
  kTooLarge,       // more than kMaxPixels, or a dimension of 0
  kOutOfMemory,
};

// True when width x height is a picture the library may allocate.
inline bool DimensionsAllowed(uint64_t width, uint64_t height) {
  return width > 0 && height > 0 && width * height <= kMaxPixels;
}

}  // namespace repng::codecs
