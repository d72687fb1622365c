// libdeflate's zlib streams: the screening of every trial and the strong
// pass over the finalists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "png/search_settings.h"

struct libdeflate_compressor;

namespace repng::png {

// libdeflate's strongest level.
inline constexpr int kStrongestDeflateLevel = settings::kStrongestLevel;

// One libdeflate compressor at a fixed level, for one thread at a time. Its
// owner keeps it for as many streams as it can: setting one up costs more
// than a small picture's stream. Most of that cost is the first touch of its
// tables, so a compressor's memory outlives it while idle compressors are
// kept (below): the next one of its level starts on it.
class ZlibCompressor {
 public:
  explicit ZlibCompressor(int level);  // throws std::bad_alloc, or EncoderFault for a level beyond 0..12
  ~ZlibCompressor();
  ZlibCompressor(const ZlibCompressor&) = delete;
  ZlibCompressor& operator=(const ZlibCompressor&) = delete;

  int level() const { return level_; }

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

  int level_ = 0;
  libdeflate_compressor* compressor_ = nullptr;
};

// One compressor a worker, made when the worker first needs it.
using WorkerCompressors = std::vector<std::optional<ZlibCompressor>>;

// Whether compressors, once done with, are kept idle for the next ones of
// their level (up to settings::kIdleCompressorMemory in all) or freed. Not
// keeping them frees those kept so far: a large picture's peak has no room
// for them, and its streams are long enough to pay for new ones.
void KeepIdleCompressors(bool keep);

// The memory the idle compressors hold, by CompressorBytes.
size_t IdleCompressorBytes();

// About the memory a compressor of that level holds: libdeflate's levels 10
// to 12 take 8.6 MiB, the others 0.7 MiB at most.
size_t CompressorBytes(int level);

}  // namespace repng::png
