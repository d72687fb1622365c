#include "codecs/image_decoder.h"

#include <cstring>

namespace repng::codecs {
namespace {

bool StartsWith(const uint8_t* data, size_t size, const char* magic, size_t magic_size) {
  return size >= magic_size && std::memcmp(data, magic, magic_size) == 0;
}

}  // namespace

const char* DecodeResultText(DecodeResult result) {
  switch (result) {
    case DecodeResult::kOk: return "decoded";
    case DecodeResult::kNotRecognised: return "not an image";
    case DecodeResult::kDamaged: return "damaged";
    case DecodeResult::kSeveralFrames: return "several frames";
    case DecodeResult::kDeepSamples: return "more than 8 bits per sample";
    case DecodeResult::kColourProfile: return "ICC profile other than sRGB";
    case DecodeResult::kGamma: return "gamma other than sRGB's";
    case DecodeResult::kChromaticities: return "primaries other than sRGB's";
    case DecodeResult::kOrientation: return "turned or mirrored (orientation tag)";
    case DecodeResult::kOtherLayout: return "a layout the decoders do not read";
    case DecodeResult::kTooLarge: return "too many pixels, or none";
    case DecodeResult::kOutOfMemory: return "out of memory";
  }
  return "?";
}

DecodeResult DecodeImage(const uint8_t* data, size_t size, DecodedImage* out) {
  if (out != nullptr) *out = DecodedImage{};
  if (data == nullptr || out == nullptr) return DecodeResult::kNotRecognised;
  if (StartsWith(data, size, "\x89PNG\r\n\x1a\n", 8)) return DecodePng(data, size, out);
  if (StartsWith(data, size, "BM", 2)) return DecodeBmp(data, size, out);
  if (StartsWith(data, size, "GIF87a", 6) || StartsWith(data, size, "GIF89a", 6)) {
    return DecodeGif(data, size, out);
  }
  if (StartsWith(data, size, "\xFF\xD8\xFF", 3)) return DecodeJpeg(data, size, out);
  if (StartsWith(data, size, "II*\0", 4) || StartsWith(data, size, "MM\0*", 4)) {
    return DecodeTiff(data, size, out);
  }
  return DecodeResult::kNotRecognised;
}

}  // namespace repng::codecs
