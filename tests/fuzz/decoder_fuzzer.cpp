// One libFuzzer target per decoder: REPNG_FUZZ_DECODER names the function.
// Beyond the sanitizers, every input must keep the decoder's contract.
#include <zlib.h>

#include <cstdlib>
#include <vector>

#include "platform/gdiplus/codecs/image_decoder.h"

namespace {

#ifdef REPNG_FUZZ_MEND_PNG_CRCS
uint32_t ReadBe32(const uint8_t* at) {
  return uint32_t(at[0]) << 24 | uint32_t(at[1]) << 16 | uint32_t(at[2]) << 8 | at[3];
}

// A mutation almost always breaks some chunk's CRC, and the strict decoder
// stops there; with the CRCs mended, mutations reach the chunks' contents.
// The whole-file targets still see the bytes unmended.
std::vector<uint8_t> WithPngCrcsMended(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  constexpr size_t kSignatureSize = 8;
  size_t at = kSignatureSize;
  while (at <= size && size - at >= 12) {
    const size_t length = ReadBe32(&bytes[at]);
    if (length > size - at - 12) break;
    const uLong crc = crc32(0, &bytes[at + 4], static_cast<uInt>(length + 4));
    for (int i = 0; i < 4; ++i) bytes[at + 8 + length + size_t(i)] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    at += 12 + length;
  }
  return bytes;
}
#endif

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace repng::codecs;
#ifdef REPNG_FUZZ_MEND_PNG_CRCS
  const std::vector<uint8_t> mended = WithPngCrcsMended(data, size);
  data = mended.data();
#endif
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
