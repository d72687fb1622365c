// The imaging library's PNG encoder: premultiplied 32-bit pixels in, one
// complete PNG file out, exact for the straight-alpha pixels that
// un-premultiplying gives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace repng::png {

// `top_row` points at the first byte of the top row; rows are `stride` bytes
// apart (stride >= width * 4). Each pixel is premultiplied BGRA in memory
// (0xAARRGGBB). On success *out holds the PNG file and true is returned; on
// failure false is returned and *out is left empty. The encoder checks its
// own output before it returns it.
bool EncodePargbToPng(const uint8_t* top_row, uint32_t width, uint32_t height, size_t stride,
                      std::vector<uint8_t>* out);

// The same on at most `workers` threads instead of one per core: the bytes
// do not depend on their number.
bool EncodePargbToPngOn(unsigned workers, const uint8_t* top_row, uint32_t width, uint32_t height, size_t stride,
                        std::vector<uint8_t>* out);

}  // namespace repng::png
