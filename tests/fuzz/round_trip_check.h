// A small bitmap through EncodeHBitmapToPng and back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace repng::fuzz {

// Empty when the bitmap the bytes describe (see synthetic_bitmap.h) encodes
// to a PNG that decodes to the same premultiplied pixels and nothing is left
// behind; otherwise what went wrong.
std::string CheckRoundTrip(const uint8_t* data, size_t size);

}  // namespace repng::fuzz
