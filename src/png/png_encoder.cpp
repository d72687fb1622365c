#include "png/png_encoder.h"

#include <exception>
#include <cstdint>
#include <new>
#include <utility>

#include "codecs/decoded_image.h"
#include "platform/gdiplus/pixel_math.h"
#include "png/chunk_writer.h"
#include "png/encoding_search.h"
#include "png/output_verification.h"
#include "png/parallel_trials.h"

namespace repng::png {
namespace {

bool ReadStraightImage(const uint8_t* top_row, uint32_t width, uint32_t height, size_t stride,
                       StraightImage* image) {
  image->width = width;
  image->height = height;
  image->argb.resize(size_t{width} * height);
  uint32_t* out = image->argb.data();
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* source = top_row + y * stride;
    for (uint32_t x = 0; x < width; ++x, source += 4) {
      const uint32_t pargb = uint32_t{source[3]} << 24 | uint32_t{source[2]} << 16 |
                             uint32_t{source[1]} << 8 | source[0];
      // A colour above its alpha has no straight form; the encoder would
      // otherwise write a picture that is not the one it was given.
      if (!pixel::IsValidPremultiplied(pargb)) return false;
      *out++ = pixel::Unpremultiply(pargb);
    }
  }
  return true;
}

bool Encode(unsigned workers, const uint8_t* top_row, uint32_t width, uint32_t height, size_t stride,
            std::vector<uint8_t>* out) {
  if (top_row == nullptr || !codecs::DimensionsAllowed(width, height)) return false;
  // Both fit: width * height <= kMaxPixels, so width * 4 is far below 2^32.
  if (stride < size_t{width} * 4 || (height - 1) > (SIZE_MAX - size_t{width} * 4) / stride) return false;

  StraightImage image;
  if (!ReadStraightImage(top_row, width, height, stride, &image)) return false;
  const Encoding encoding = FindSmallestEncoding(std::move(image), workers);

  std::vector<uint8_t> png;
  if (!WritePngFile(encoding.raster, encoding.zlib_stream, &png)) return false;
  if (!PngMatchesPargb(png, top_row, width, height, stride)) return false;
  *out = std::move(png);
  return true;
}

}  // namespace

bool EncodePargbToPng(const uint8_t* top_row, uint32_t width, uint32_t height, size_t stride,
                      std::vector<uint8_t>* out) {
  return EncodePargbToPngOn(CoreCount(), top_row, width, height, stride, out);
}

bool EncodePargbToPngOn(unsigned workers, const uint8_t* top_row, uint32_t width, uint32_t height, size_t stride,
                        std::vector<uint8_t>* out) {
  if (out == nullptr) return false;
  out->clear();
  try {
    return Encode(workers, top_row, width, height, stride, out);
  } catch (const std::exception&) {
    // Out of memory, or an inner consistency check: no output rather than a
    // doubtful one.
    out->clear();
    return false;
  }
}

}  // namespace repng::png
