// Batches of small inputs of every kind the program meets: pictures it can
// make smaller (BMP, PNG with a bulky chunk, GIF), a damaged picture and a
// file that is no picture at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace repng::safety {

struct SampleFile {
  std::string name;
  std::string bytes;
};

// `count` files named 00000.bmp, 00001.png, ... whose kinds take turns;
// pictures are `side` pixels square, their content varies with the index.
std::vector<SampleFile> MakeSampleBatch(size_t count, uint32_t side = 32);

// One uncompressed 24-bit BMP of the given size.
std::string MakeBmpPicture(uint32_t width, uint32_t height, uint32_t variant);

// Writes the files into `folder` (which exists).
void WriteSampleFiles(const std::string& folder, const std::vector<SampleFile>& files);

}  // namespace repng::safety
