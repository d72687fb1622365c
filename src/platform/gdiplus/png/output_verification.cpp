#include "platform/gdiplus/png/output_verification.h"

#include <spng.h>

#include <memory>
#include <new>

#include "platform/gdiplus/pixel_math.h"

namespace repng::png {
namespace {

struct SpngContextDeleter {
  void operator()(spng_ctx* context) const { spng_ctx_free(context); }
};

// Decodes straight RGBA8 rows; false on any decoder complaint.
bool DecodeRgba(const std::vector<uint8_t>& png, uint32_t width, uint32_t height,
                std::vector<uint8_t>* rgba) {
  const std::unique_ptr<spng_ctx, SpngContextDeleter> context(spng_ctx_new(0));
  if (!context) throw std::bad_alloc();
  if (spng_set_png_buffer(context.get(), png.data(), png.size()) != 0) return false;
  spng_ihdr header{};
  if (spng_get_ihdr(context.get(), &header) != 0) return false;
  if (header.width != width || header.height != height) return false;
  size_t size = 0;
  if (spng_decoded_image_size(context.get(), SPNG_FMT_RGBA8, &size) != 0) return false;
  if (size != size_t{width} * height * 4) return false;
  rgba->resize(size);
  return spng_decode_image(context.get(), rgba->data(), size, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS) == 0;
}

}  // namespace

bool PngMatchesPargb(const std::vector<uint8_t>& png, const uint8_t* top_row, uint32_t width,
                     uint32_t height, size_t stride) {
  std::vector<uint8_t> rgba;
  if (!DecodeRgba(png, width, height, &rgba)) return false;
  const uint8_t* decoded = rgba.data();
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* source = top_row + y * stride;
    for (uint32_t x = 0; x < width; ++x, decoded += 4, source += 4) {
      const uint32_t straight = uint32_t{decoded[3]} << 24 | uint32_t{decoded[0]} << 16 |
                                uint32_t{decoded[1]} << 8 | decoded[2];
      const uint32_t expected = uint32_t{source[3]} << 24 | uint32_t{source[2]} << 16 |
                                uint32_t{source[1]} << 8 | source[0];
      if (pixel::Premultiply(straight) != expected) return false;
    }
  }
  return true;
}

}  // namespace repng::png
