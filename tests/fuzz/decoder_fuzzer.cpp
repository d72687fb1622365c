// One libFuzzer target per decoder: REPNG_FUZZ_DECODER names the function.
// Beyond the sanitizers, every input must keep the decoder's contract.
#include <zlib.h>

#include <cstdlib>
#include <vector>

#include "codecs/image_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace repng::codecs;
#ifdef REPNG_FUZZ_MEND_PNG_CRCS
  // A mutation almost always breaks some chunk's CRC, and the strict decoder
  // stops there; with the CRCs mended, mutations reach the chunks' contents.
  // The whole-file targets still see the bytes unmended.
  std::vector<uint8_t> mended(data, data + size);
  for (size_t at = 8; at <= size && size - at >= 12;) {  // after the signature, chunk by chunk
    const size_t length = size_t{mended[at]} << 24 | size_t{mended[at + 1]} << 16 | size_t{mended[at + 2]} << 8 | mended[at + 3];
    if (length > size - at - 12) break;
    const uLong crc = crc32(0, &mended[at + 4], static_cast<uInt>(length + 4));
    for (size_t i = 0; i < 4; ++i) mended[at + 8 + length + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    at += 12 + length;
  }
  data = mended.data();
#endif
  DecodedImage image;
  const DecodeResult result = REPNG_FUZZ_DECODER(data, size, &image);
  const bool kept_contract = result == DecodeResult::kOk
                                 ? DimensionsAllowed(image.width, image.height) &&
                                       image.argb.size() == static_cast<size_t>(image.width) * image.height
                                 : image.width == 0 && image.height == 0 && image.argb.empty();  // a refusal leaves nothing
  if (!kept_contract) std::abort();
  return 0;
}
