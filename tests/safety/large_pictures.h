// Pictures at the program's limits, written without holding them whole.
#pragma once

#include <cstdint>
#include <string>

namespace repng::safety {

// A 24-bit BMP of width x height with smooth content, row by row.
void WriteLargeBmp(const std::string& path, uint32_t width, uint32_t height);

// An RGB PNG of width x height, deflated as it is written: a vast picture in
// a small file.
void WriteLargePng(const std::string& path, uint32_t width, uint32_t height);

}  // namespace repng::safety
