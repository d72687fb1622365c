#include "png/zlib_compression.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>

#include "png/encoder_fault.h"

namespace repng::png {
namespace {

// libdeflate reports a full buffer when fewer than a few bytes of room are
// left beyond the stream, so a stream of exactly the limit would fail. The
// limit is applied here instead, over a slightly larger buffer; without this
// a tie with the best trial could be lost or kept depending on timing.
constexpr size_t kOutputSlack = 64;

size_t RoomFor(size_t bound, size_t max_size) {
  const size_t room = max_size > SIZE_MAX - kOutputSlack ? SIZE_MAX : max_size + kOutputSlack;
  return std::min(bound, room);
}

}  // namespace

ZlibCompressor::ZlibCompressor(int level) {
  // libdeflate refuses a level it does not have the same way as a lack of
  // memory; only the second is one.
  if (level < 0 || level > kStrongestDeflateLevel) throw EncoderFault("no such deflate level");
  compressor_ = libdeflate_alloc_compressor(level);
  if (compressor_ == nullptr) throw std::bad_alloc();
}

ZlibCompressor::~ZlibCompressor() { libdeflate_free_compressor(compressor_); }

size_t CompressorBytes(int level) { return level >= 10 ? 8'800'000 : 700'000; }

size_t ZlibCompressor::CompressToBuffer(const uint8_t* data, size_t size, size_t max_size,
                                        std::unique_ptr<uint8_t[]>* buffer) {
  // Left uninitialised: the room is as large as the data, and zeroing it
  // would touch every page of it, where deflate writes only the stream's.
  const size_t room = RoomFor(libdeflate_zlib_compress_bound(compressor_, size), max_size);
  *buffer = std::make_unique_for_overwrite<uint8_t[]>(room);
  const size_t written = libdeflate_zlib_compress(compressor_, data, size, buffer->get(), room);
  return written > max_size ? 0 : written;
}

bool ZlibCompressor::Compress(const uint8_t* data, size_t size, size_t max_size,
                              std::vector<uint8_t>* out) {
  std::unique_ptr<uint8_t[]> buffer;
  const size_t written = CompressToBuffer(data, size, max_size, &buffer);
  if (written == 0) {
    out->clear();
    return false;
  }
  out->assign(buffer.get(), buffer.get() + written);  // the stream's size, not the room's
  return true;
}

size_t ZlibCompressor::StreamSize(const uint8_t* data, size_t size, size_t max_size) {
  std::unique_ptr<uint8_t[]> buffer;
  return CompressToBuffer(data, size, max_size, &buffer);
}

size_t ZlibCompressor::DeflateSize(const uint8_t* data, size_t size, size_t max_size,
                                   std::vector<uint8_t>* scratch) {
  const size_t bound = libdeflate_deflate_compress_bound(compressor_, size);
  scratch->resize(RoomFor(bound, max_size));
  const size_t written = libdeflate_deflate_compress(compressor_, data, size, scratch->data(), scratch->size());
  return written > max_size ? 0 : written;
}

}  // namespace repng::png
