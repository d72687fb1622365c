#include "codecs/image_decoder.h"

#include <cstring>

namespace repng::codecs {
namespace {

bool StartsWith(const uint8_t* data, size_t size, const char* magic, size_t magic_size) {
  return size >= magic_size && std::memcmp(data, magic, magic_size) == 0;
}

}  // namespace

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
