#include "platform/gdiplus/png/zlib_compression.h"

#include <libdeflate.h>
#include <zopfli/zopfli.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>

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

ZlibCompressor::ZlibCompressor(int level) : compressor_(libdeflate_alloc_compressor(level)) {
  if (compressor_ == nullptr) throw std::bad_alloc();
}

ZlibCompressor::~ZlibCompressor() { libdeflate_free_compressor(compressor_); }

bool ZlibCompressor::Compress(const uint8_t* data, size_t size, size_t max_size,
                              std::vector<uint8_t>* out) {
  const size_t bound = libdeflate_zlib_compress_bound(compressor_, size);
  out->resize(RoomFor(bound, max_size));
  const size_t written = libdeflate_zlib_compress(compressor_, data, size, out->data(), out->size());
  if (written == 0 || written > max_size) {
    out->clear();
    return false;
  }
  out->resize(written);
  return true;
}

size_t ZlibCompressor::DeflateSize(const uint8_t* data, size_t size, size_t max_size,
                                   std::vector<uint8_t>* scratch) {
  const size_t bound = libdeflate_deflate_compress_bound(compressor_, size);
  scratch->resize(RoomFor(bound, max_size));
  const size_t written = libdeflate_deflate_compress(compressor_, data, size, scratch->data(), scratch->size());
  return written > max_size ? 0 : written;
}

std::vector<uint8_t> ZopfliCompressZlib(const uint8_t* data, size_t size, int iterations) {
  ZopfliOptions options;
  ZopfliInitOptions(&options);
  options.numiterations = iterations;
  unsigned char* compressed = nullptr;
  size_t compressed_size = 0;
  ZopfliCompress(&options, ZOPFLI_FORMAT_ZLIB, data, size, &compressed, &compressed_size);
  const std::unique_ptr<unsigned char, decltype(&std::free)> owner(compressed, &std::free);
  if (compressed == nullptr || compressed_size == 0) throw std::bad_alloc();
  return std::vector<uint8_t>(compressed, compressed + compressed_size);
}

}  // namespace repng::png
