// Decoding of whole files into DecodedImage. The format is chosen by the
// bytes, never by a file name. A result other than kOk leaves *out empty.
#pragma once

#include "codecs/decoded_image.h"

namespace repng::codecs {

DecodeResult DecodeImage(const uint8_t* data, size_t size, DecodedImage* out);

DecodeResult DecodePng(const uint8_t* data, size_t size, DecodedImage* out);
DecodeResult DecodeBmp(const uint8_t* data, size_t size, DecodedImage* out);
DecodeResult DecodeGif(const uint8_t* data, size_t size, DecodedImage* out);
DecodeResult DecodeJpeg(const uint8_t* data, size_t size, DecodedImage* out);
DecodeResult DecodeTiff(const uint8_t* data, size_t size, DecodedImage* out);

}  // namespace repng::codecs
