// Writing the PNG container: signature, IHDR, PLTE, tRNS, IDAT and IEND, and
// nothing else, so no metadata of any kind reaches the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "png/png_raster.h"

namespace repng::png {

// IDAT payloads are split at this size. Any size up to 2^31 - 1 is valid; a
// bounded one keeps every chunk length far from the limit and costs 12 bytes
// per 8 MiB.
inline constexpr size_t kMaxIdatPayload = size_t{8} << 20;

// Bytes that PLTE and tRNS add to the file of `raster`: what a palette costs
// beside its image data, which decides between palette and truecolour on
// small pictures.
size_t LayoutChunksSize(const PngRaster& raster);

// Appends one chunk (length, type, data, CRC over type and data). False when
// the data is longer than a chunk may be.
bool AppendChunk(const char (&type)[5], const uint8_t* data, size_t size, std::vector<uint8_t>* out);

// Writes the whole file for `raster` (its layout, palette and transparency)
// with `zlib_stream` as the image data. False when a chunk cannot hold its
// data.
bool WritePngFile(const PngRaster& raster, const std::vector<uint8_t>& zlib_stream,
                  std::vector<uint8_t>* out, size_t max_idat_payload = kMaxIdatPayload);

}  // namespace repng::png
