// The last guard before a PNG leaves the encoder: decode it again and compare
// with the pixels it was made from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace repng::png {

// True when `png` decodes to a picture of width x height whose pixels,
// premultiplied, equal the premultiplied BGRA input at `top_row` exactly.
bool PngMatchesPargb(const std::vector<uint8_t>& png, const uint8_t* top_row, uint32_t width,
                     uint32_t height, size_t stride);

}  // namespace repng::png
