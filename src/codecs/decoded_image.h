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

// What a decoder made of a file: the picture, or why it refuses the file.
enum class DecodeResult {
  kOk,
  kNotRecognised,  // the bytes are not this format (or no known format)
  kDamaged,        // the format is recognised but the data is broken or cut off
  // Pictures that would not come back whole through 32 bits a pixel:
  kSeveralFrames,   // an animation, or several pages
  kDeepSamples,     // more than 8 bits per sample
  kColourProfile,   // an ICC profile other than sRGB
  kGamma,           // a gamma other than sRGB's
  kChromaticities,  // primaries other than sRGB's
  kOrientation,     // to be turned or mirrored when shown
  kOtherLayout,     // a layout these decoders do not read (embedded JPEG, odd masks, ...)
  kTooLarge,        // more than kMaxPixels, or a dimension of 0
  kOutOfMemory,
};

// A few words on the result, for tools: "damaged", "several frames", ...
const char* DecodeResultText(DecodeResult result);

// True when width x height is a picture the library may allocate.
inline bool DimensionsAllowed(uint64_t width, uint64_t height) {
  return width > 0 && height > 0 && width * height <= kMaxPixels;
}

}  // namespace repng::codecs
