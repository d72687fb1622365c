// One libFuzzer target per decoder: REPNG_FUZZ_DECODER names the function.
// Beyond the sanitizers, every input must keep the decoder's contract.
#include <cstdlib>

#include "platform/gdiplus/codecs/image_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace repng::codecs;
  DecodedImage image;
  const DecodeResult result = REPNG_FUZZ_DECODER(data, size, &image);
  if (result == DecodeResult::kOk) {
    if (!DimensionsAllowed(image.width, image.height) ||
        image.argb.size() != static_cast<size_t>(image.width) * image.height) {
      std::abort();
    }
  } else if (image.width != 0 || image.height != 0 || !image.argb.empty()) {
    std::abort();  // a refusal must leave nothing behind
  }
  return 0;
}
