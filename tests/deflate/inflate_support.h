// Inflating through two independent decoders, for round trips.
#pragma once

#include <libdeflate.h>
#include <zlib.h>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace repng::deflate::testing {

// zlib's inflate; nullopt when it rejects the stream or leaves bytes over.
inline std::optional<std::vector<uint8_t>> ZlibInflate(std::span<const uint8_t> stream, size_t expected_size) {
  std::vector<uint8_t> out(expected_size + 1);
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return std::nullopt;
  z.next_in = const_cast<Bytef*>(stream.data());
  z.avail_in = static_cast<uInt>(stream.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const int result = inflate(&z, Z_FINISH);
  const size_t produced = out.size() - z.avail_out;
  const bool consumed = z.avail_in == 0;
  inflateEnd(&z);
  if (result != Z_STREAM_END || !consumed) return std::nullopt;
  out.resize(produced);
  return out;
}

inline std::optional<std::vector<uint8_t>> LibdeflateInflate(std::span<const uint8_t> stream, size_t expected_size) {
  libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
  std::vector<uint8_t> out(expected_size);
  size_t in_used = 0, produced = 0;
  const libdeflate_result result = libdeflate_zlib_decompress_ex(
      decompressor, stream.data(), stream.size(), out.data(), out.size(), &in_used, &produced);
  libdeflate_free_decompressor(decompressor);
  if (result != LIBDEFLATE_SUCCESS || in_used != stream.size()) return std::nullopt;
  out.resize(produced);
  return out;
}

inline std::vector<uint8_t> LibdeflateCompress(std::span<const uint8_t> input, int level) {
  libdeflate_compressor* compressor = libdeflate_alloc_compressor(level);
  std::vector<uint8_t> out(libdeflate_zlib_compress_bound(compressor, input.size()));
  out.resize(libdeflate_zlib_compress(compressor, input.data(), input.size(), out.data(), out.size()));
  libdeflate_free_compressor(compressor);
  return out;
}

}  // namespace repng::deflate::testing
