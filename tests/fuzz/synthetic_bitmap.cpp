#include "synthetic_bitmap.h"

#include "platform/gdiplus/pixel_math.h"

namespace repng::fuzz {
namespace {

class ByteSource {
 public:
  ByteSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint32_t Next() { return offset_ < size_ ? data_[offset_++] : 0; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t offset_ = 0;
};

enum class AlphaKind { kAny, kOpaque, kBinary, kEdges };

struct Shape {
  AlphaKind alpha;
  bool gray;
  uint32_t gray_bits;
  uint32_t palette_size;  // 0: every pixel its own colour
};

Shape ShapeOf(uint32_t bits) {
  constexpr uint32_t kGrayBits[] = {8, 1, 2, 4};
  constexpr uint32_t kPaletteSizes[] = {0, 1, 2, 4, 16, 255, 256, 257};
  return Shape{.alpha = static_cast<AlphaKind>(bits & 3),
               .gray = (bits & 4) != 0,
               .gray_bits = kGrayBits[(bits >> 3) & 3],
               .palette_size = kPaletteSizes[bits >> 5]};
}

uint32_t AlphaFrom(uint32_t byte, AlphaKind kind) {
  constexpr uint32_t kEdges[] = {0, 1, 254, 255};
  switch (kind) {
    case AlphaKind::kOpaque: return 255;
    case AlphaKind::kBinary: return (byte & 1) != 0 ? 255 : 0;
    case AlphaKind::kEdges: return kEdges[byte & 3];
    case AlphaKind::kAny: break;
  }
  return byte;
}

// Four bytes as one valid premultiplied pixel of the shape.
uint32_t PixelFrom(ByteSource& bytes, const Shape& shape) {
  const uint32_t alpha = AlphaFrom(bytes.Next(), shape.alpha);
  if (shape.gray) {
    // A straight gray at the depth, so that opaque pictures can shrink to it.
    const uint32_t levels = (1u << shape.gray_bits) - 1;
    const uint32_t straight = (bytes.Next() % (levels + 1)) * (255 / levels);
    bytes.Next();
    bytes.Next();
    const uint32_t channel = pixel::PremultiplyChannel(straight, alpha);
    return alpha << 24 | channel << 16 | channel << 8 | channel;
  }
  // Every channel up to alpha, which reaches every valid premultiplied pixel.
  uint32_t pixel = alpha << 24;
  for (const int shift : {16, 8, 0}) pixel |= (bytes.Next() % (alpha + 1)) << shift;
  return pixel;
}

}  // namespace

SyntheticBitmap SyntheticBitmapFromBytes(const uint8_t* data, size_t size) {
  ByteSource bytes(data, size);
  SyntheticBitmap bitmap;
  bitmap.width = 1 + bytes.Next() % kMaxSyntheticSide;
  bitmap.height = 1 + bytes.Next() % kMaxSyntheticSide;
  const Shape shape = ShapeOf(bytes.Next());
  bitmap.bottom_up = (bytes.Next() & 1) != 0;

  std::vector<uint32_t> palette;
  for (uint32_t i = 0; i < shape.palette_size; ++i) palette.push_back(PixelFrom(bytes, shape));
  const size_t count = size_t(bitmap.width) * bitmap.height;
  bitmap.pixels.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    if (palette.empty()) {
      bitmap.pixels.push_back(PixelFrom(bytes, shape));
    } else {
      uint32_t index = bytes.Next();
      if (palette.size() > 256) index = index << 8 | bytes.Next();
      bitmap.pixels.push_back(palette[index % palette.size()]);
    }
  }
  return bitmap;
}

}  // namespace repng::fuzz
