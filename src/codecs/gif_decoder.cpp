// GIF through giflib, one record at a time, so that a second image is found
// (animation is refused) and a frame's size is checked before its pixels
// are read.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "codecs/decode_support.h"
#include "codecs/image_decoder.h"

namespace repng::codecs {
namespace {

struct MemoryReader {
  const uint8_t* data;
  size_t size;
  size_t position;
};

int ReadFromMemory(GifFileType* gif, GifByteType* buffer, int wanted) {
  auto* reader = static_cast<MemoryReader*>(gif->UserData);
  if (wanted <= 0) return 0;
  const size_t count = std::min(static_cast<size_t>(wanted), reader->size - reader->position);
  std::memcpy(buffer, reader->data + reader->position, count);
  reader->position += count;
  return static_cast<int>(count);
}

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};
using GifHandle = std::unique_ptr<GifFileType, GifCloser>;

// Rows of an interlaced frame come in four passes.
std::vector<uint32_t> RowOrder(uint32_t height, bool interlaced) {
  std::vector<uint32_t> order;
  order.reserve(height);
  if (!interlaced) {
    for (uint32_t y = 0; y < height; ++y) order.push_back(y);
    return order;
  }
  static constexpr uint32_t kPasses[4][2] = {{0, 8}, {4, 8}, {2, 4}, {1, 2}};
  for (const auto& pass : kPasses) {
    for (uint32_t y = pass[0]; y < height; y += pass[1]) order.push_back(y);
  }
  return order;
}

DecodeResult ReadExtension(GifFileType* gif, int* transparent_index) {
  int code = 0;
  GifByteType* block = nullptr;
  if (DGifGetExtension(gif, &code, &block) != GIF_OK) return DecodeResult::kDamaged;
  if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr) {
    GraphicsControlBlock control{};
    if (DGifExtensionToGCB(block[0], block + 1, &control) != GIF_OK) return DecodeResult::kDamaged;
    *transparent_index = control.TransparentColor;
  }
  while (block != nullptr) {
    if (DGifGetExtensionNext(gif, &block) != GIF_OK) return DecodeResult::kDamaged;
  }
  return DecodeResult::kOk;
}

DecodeResult ReadFrame(GifFileType* gif, int transparent_index, DecodedImage& out) {
  if (DGifGetImageDesc(gif) != GIF_OK) return DecodeResult::kDamaged;
  const GifImageDesc& frame = gif->Image;
  if (frame.Left < 0 || frame.Top < 0 || frame.Width <= 0 || frame.Height <= 0) {
    return DecodeResult::kDamaged;
  }
  const auto left = static_cast<uint32_t>(frame.Left);
  const auto top = static_cast<uint32_t>(frame.Top);
  const auto width = static_cast<uint32_t>(frame.Width);
  const auto height = static_cast<uint32_t>(frame.Height);
  // A frame beyond the logical screen would be shown differently by each
  // viewer; it is not guessed at.
  if (static_cast<uint64_t>(left) + width > out.width ||
      static_cast<uint64_t>(top) + height > out.height) {
    return DecodeResult::kDamaged;
  }
  const ColorMapObject* colors = frame.ColorMap != nullptr ? frame.ColorMap : gif->SColorMap;
  if (colors == nullptr || colors->ColorCount <= 0) return DecodeResult::kDamaged;

  std::vector<GifPixelType> line(width);
  for (const uint32_t y : RowOrder(height, frame.Interlace)) {
    if (DGifGetLine(gif, line.data(), static_cast<int>(width)) != GIF_OK) return DecodeResult::kDamaged;
    uint32_t* target = out.argb.data() + static_cast<size_t>(top + y) * out.width + left;
    for (uint32_t x = 0; x < width; ++x) {
      const int index = line[x];
      if (index >= colors->ColorCount) return DecodeResult::kDamaged;
      if (index == transparent_index) {
        target[x] = 0;
        continue;
      }
      const GifColorType& c = colors->Colors[index];
      target[x] = PackArgb(255, c.Red, c.Green, c.Blue);
    }
  }
  return DecodeResult::kOk;
}

DecodeResult DecodeGifInto(const uint8_t* data, size_t size, DecodedImage& out) {
  if (size < 6 || (std::memcmp(data, "GIF87a", 6) != 0 && std::memcmp(data, "GIF89a", 6) != 0)) {
    return DecodeResult::kNotRecognised;
  }
  MemoryReader reader{data, size, 0};
  int error = 0;
  GifHandle gif(DGifOpen(&reader, ReadFromMemory, &error));
  if (!gif) return error == D_GIF_ERR_NOT_ENOUGH_MEM ? DecodeResult::kOutOfMemory : DecodeResult::kDamaged;
  if (gif->SWidth <= 0 || gif->SHeight <= 0) return DecodeResult::kTooLarge;

  bool have_frame = false;
  int transparent_index = NO_TRANSPARENT_COLOR;
  for (;;) {
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif.get(), &record) != GIF_OK) return DecodeResult::kDamaged;
    switch (record) {
      case IMAGE_DESC_RECORD_TYPE: {
        if (have_frame) return DecodeResult::kSeveralFrames;
        const DecodeResult allocated = AllocatePixels(static_cast<uint32_t>(gif->SWidth),
                                                      static_cast<uint32_t>(gif->SHeight), 0, &out);
        if (allocated != DecodeResult::kOk) return allocated;
        const DecodeResult frame = ReadFrame(gif.get(), transparent_index, out);
        if (frame != DecodeResult::kOk) return frame;
        have_frame = true;
        break;
      }
      case EXTENSION_RECORD_TYPE: {
        const DecodeResult extension = ReadExtension(gif.get(), &transparent_index);
        if (extension != DecodeResult::kOk) return extension;
        break;
      }
      case TERMINATE_RECORD_TYPE:
        return have_frame ? DecodeResult::kOk : DecodeResult::kDamaged;
      default:
        return DecodeResult::kDamaged;
    }
  }
}

}  // namespace

DecodeResult DecodeGif(const uint8_t* data, size_t size, DecodedImage* out) {
  if (data == nullptr) size = 0;
  return RunDecoder(out, [&](DecodedImage& image) { return DecodeGifInto(data, size, image); });
}

}  // namespace repng::codecs
