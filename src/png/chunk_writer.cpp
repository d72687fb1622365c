#include "png/chunk_writer.h"

#include <libdeflate.h>

#include <algorithm>
#include <iterator>

#include "png/big_endian.h"

namespace repng::png {
namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr size_t kMaxChunkData = 0x7FFFFFFF;
constexpr size_t kChunkFraming = 12;  // length, type and CRC

}  // namespace

size_t LayoutChunksSize(const PngRaster& raster) {
  size_t size = 0;
  if (!raster.palette.empty()) size += kChunkFraming + raster.palette.size();
  if (!raster.transparency.empty()) size += kChunkFraming + raster.transparency.size();
  return size;
}

bool AppendChunk(const char (&type)[5], const uint8_t* data, size_t size, std::vector<uint8_t>* out) {
  if (size > kMaxChunkData) return false;
  AppendBigEndian32(static_cast<uint32_t>(size), out);
  const size_t type_at = out->size();
  out->insert(out->end(), type, type + 4);
  if (size > 0) out->insert(out->end(), data, data + size);
  const uint32_t crc = libdeflate_crc32(0, out->data() + type_at, size + 4);
  AppendBigEndian32(crc, out);
  return true;
}

bool WritePngFile(const PngRaster& raster, const std::vector<uint8_t>& zlib_stream,
                  std::vector<uint8_t>* out, size_t max_idat_payload) {
  if (max_idat_payload == 0 || max_idat_payload > kMaxChunkData) return false;
  out->assign(std::begin(kSignature), std::end(kSignature));
  out->reserve(zlib_stream.size() + raster.palette.size() + raster.transparency.size() + 128);

  std::vector<uint8_t> header;
  AppendBigEndian32(raster.width, &header);
  AppendBigEndian32(raster.height, &header);
  header.push_back(raster.bit_depth);
  header.push_back(static_cast<uint8_t>(raster.color_type));
  header.push_back(0);  // deflate
  header.push_back(0);  // adaptive filtering
  header.push_back(0);  // not interlaced
  if (!AppendChunk("IHDR", header.data(), header.size(), out)) return false;

  if (!raster.palette.empty() &&
      !AppendChunk("PLTE", raster.palette.data(), raster.palette.size(), out)) {
    return false;
  }
  if (!raster.transparency.empty() &&
      !AppendChunk("tRNS", raster.transparency.data(), raster.transparency.size(), out)) {
    return false;
  }

  size_t at = 0;
  do {
    const size_t piece = std::min(max_idat_payload, zlib_stream.size() - at);
    if (!AppendChunk("IDAT", zlib_stream.data() + at, piece, out)) return false;
    at += piece;
  } while (at < zlib_stream.size());

  return AppendChunk("IEND", nullptr, 0, out);
}

}  // namespace repng::png
