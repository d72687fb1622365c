// The zlib streams of IDAT: libdeflate for screening and for the strong final
// pass, zopfli where the time budget allows it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "png/search_settings.h"

struct libdeflate_compressor;

namespace repng::png {

class Workers;

// libdeflate's strongest level.
inline constexpr int kStrongestDeflateLevel = settings::kStrongestLevel;

// One libdeflate compressor at a fixed level, for one thread at a time. Its
// owner keeps it for as many streams as it can: setting one up costs more
// than a small picture's stream.
class ZlibCompressor {
 public:
  explicit ZlibCompressor(int level);  // throws std::bad_alloc, or EncoderFault for a level beyond 0..12
  ~ZlibCompressor();
  ZlibCompressor(const ZlibCompressor&) = delete;
  ZlibCompressor& operator=(const ZlibCompressor&) = delete;

  // Compresses `size` bytes into *out as a zlib stream no longer than
  // `max_size` bytes. Returns false, with *out cleared, when the stream would
  // be longer: libdeflate then gives up as soon as its output overflows, which
  // is what lets a losing candidate stop early.
  bool Compress(const uint8_t* data, size_t size, size_t max_size, std::vector<uint8_t>* out);

  // The length Compress would give the stream, or 0 when it would be longer
  // than `max_size`, without keeping the stream.
  size_t StreamSize(const uint8_t* data, size_t size, size_t max_size);

  // The size of the raw deflate stream of `size` bytes, or 0 when it would be
  // longer than `max_size`. `scratch` is reused between calls.
  size_t DeflateSize(const uint8_t* data, size_t size, size_t max_size, std::vector<uint8_t>* scratch);

 private:
  // The stream's length in *buffer, or 0 when longer than `max_size`.
  size_t CompressToBuffer(const uint8_t* data, size_t size, size_t max_size, std::unique_ptr<uint8_t[]>* buffer);

  libdeflate_compressor* compressor_ = nullptr;
};

// About the memory a compressor of that level holds: libdeflate's levels 10
// to 12 take 8.6 MiB, the others 0.7 MiB at most.
size_t CompressorBytes(int level);

// How zopfli spends its time on one stream.
struct ZopfliSettings {
  int iterations = 15;
  // Zopfli's own block splitter: a large fixed cost (tens of milliseconds
  // even on a few kilobytes) that gains little on small pictures.
  bool split_blocks = false;
  // Consecutive pieces of the data, shared out among the workers; each still
  // finds matches in the data before it, so a piece costs only its block
  // headers, and zopfli's caches grow with a piece, not with the data.
  size_t pieces = 1;
  // Most blocks the splitter may cut a piece into, 0 for no limit; zopfli's
  // own default of 15 is coarse for a megabyte of screenshot.
  int max_blocks = 15;
};

// A zlib stream of `size` bytes made by zopfli, its pieces shared out among
// `workers`. Slow: at 15 iterations roughly 100 to 200 kilobytes a second
// per worker.
std::vector<uint8_t> ZopfliCompressZlib(const uint8_t* data, size_t size, const ZopfliSettings& settings,
                                        Workers& workers);

}  // namespace repng::png
