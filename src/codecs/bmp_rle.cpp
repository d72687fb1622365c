// RLE4 and RLE8 BMP streams. Pixels the stream never sets stay transparent.
#include "codecs/bmp_layout.h"

namespace repng::codecs::bmp {
namespace {

class RleCanvas {
 public:
  RleCanvas(const BmpLayout& layout, DecodedImage& out) : layout_(layout), out_(out) {}

  // Sets the pixel at the cursor and moves right; false on any overrun.
  // Some writers run on into the row's padding (up to a whole number of
  // 8 pixels): those pixels are no part of the picture and are dropped, as
  // GDI drops them.
  bool Put(uint32_t index) {
    if (y_ >= layout_.height || x_ >= PaddedWidth() || index >= layout_.palette_size) return false;
    if (x_ < layout_.width) {
      const size_t row = layout_.height - 1 - y_;  // the stream runs bottom-up
      out_.argb[row * layout_.width + x_] = layout_.palette[index];
    }
    ++x_;
    return true;
  }
  void EndLine() {
    x_ = 0;
    ++y_;
  }
  bool Move(uint32_t dx, uint32_t dy) {
    x_ += dx;
    y_ += dy;
    return x_ <= layout_.width && y_ <= layout_.height;
  }
  bool Done() const { return y_ >= layout_.height; }

 private:
  uint64_t PaddedWidth() const { return (uint64_t{layout_.width} + 7) / 8 * 8; }

  const BmpLayout& layout_;
  DecodedImage& out_;
  uint32_t x_ = 0;
  uint32_t y_ = 0;
};

}  // namespace

DecodeResult DecodeBmpRle(const uint8_t* data, size_t size, const BmpLayout& layout,
                          DecodedImage& out) {
  const bool four_bit = layout.compression == Compression::kRle4;
  RleCanvas canvas(layout, out);
  size_t at = static_cast<size_t>(layout.pixel_offset);
  const auto put_pair = [&](uint8_t byte, uint32_t nth) {
    if (!four_bit) return canvas.Put(byte);
    return canvas.Put(nth % 2 == 0 ? byte >> 4 : byte & 0x0F);
  };

  while (size - at >= 2) {
    const uint8_t count = data[at];
    const uint8_t value = data[at + 1];
    at += 2;
    if (count > 0) {
      for (uint32_t i = 0; i < count; ++i) {
        if (!put_pair(value, i)) return DecodeResult::kDamaged;
      }
      continue;
    }
    if (value == 0) {
      canvas.EndLine();
    } else if (value == 1) {
      return DecodeResult::kOk;
    } else if (value == 2) {
      if (size - at < 2) return DecodeResult::kDamaged;
      if (!canvas.Move(data[at], data[at + 1])) return DecodeResult::kDamaged;
      at += 2;
    } else {
      const size_t bytes = four_bit ? (value + 1u) / 2 : value;
      const size_t padded = (bytes + 1) & ~size_t{1};
      if (size - at < bytes) return DecodeResult::kDamaged;
      for (uint32_t i = 0; i < value; ++i) {
        if (!put_pair(data[at + (four_bit ? i / 2 : i)], i)) return DecodeResult::kDamaged;
      }
      at += padded <= size - at ? padded : size - at;
    }
  }
  // A stream without its end marker is whole only if every row was reached.
  return canvas.Done() ? DecodeResult::kOk : DecodeResult::kDamaged;
}

}  // namespace repng::codecs::bmp
