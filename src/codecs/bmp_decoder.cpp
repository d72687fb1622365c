// BMP, read by hand: every offset and size is checked against the file.
#include "codecs/bmp_layout.h"
#include "codecs/decode_support.h"
#include "codecs/image_decoder.h"

namespace repng::codecs {

DecodeResult DecodeBmp(const uint8_t* data, size_t size, DecodedImage* out) {
  if (data == nullptr) size = 0;
  return RunDecoder(out, [&](DecodedImage& image) {
    bmp::BmpLayout layout;
    const DecodeResult parsed = bmp::ParseBmpLayout(data, size, &layout);
    if (parsed != DecodeResult::kOk) return parsed;
    const DecodeResult allocated = AllocatePixels(layout.width, layout.height, 0, &image);
    if (allocated != DecodeResult::kOk) return allocated;
    const bool rle = layout.compression == bmp::Compression::kRle8 ||
                     layout.compression == bmp::Compression::kRle4;
    return rle ? bmp::DecodeBmpRle(data, size, layout, image)
               : bmp::DecodeBmpRows(data, size, layout, image);
  });
}

}  // namespace repng::codecs
