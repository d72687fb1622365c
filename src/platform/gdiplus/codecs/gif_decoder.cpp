#include "platform/gdiplus/codecs/decode_support.h"
#include "platform/gdiplus/codecs/image_decoder.h"

namespace repng::codecs {

DecodeResult DecodeGif(const uint8_t*, size_t, DecodedImage* out) {
  return RunDecoder(out, [](DecodedImage&) { return DecodeResult::kUnsupported; });
}

}  // namespace repng::codecs
