// File bytes through LoadImageToHBitmap as the program calls it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace repng::fuzz {

// Empty when the load kept its contract: a handle exactly when the library's
// decoder accepts the bytes, holding the decoded picture premultiplied, and
// nothing left behind once the handle is deleted. Otherwise what went wrong.
std::string CheckLoadImage(const uint8_t* data, size_t size);

}  // namespace repng::fuzz
