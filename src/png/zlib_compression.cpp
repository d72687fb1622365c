#include "png/zlib_compression.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

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

// What CompressorBytes counts for libdeflate's levels 10 to 12, and for the
// others.
constexpr size_t kStrongCompressorBytes = 8'800'000;
constexpr size_t kLightCompressorBytes = 700'000;

// Compressors done with, each with its level, for the next of that level.
class IdleCompressors {
 public:
  // Room for as many as may be kept, so that giving one back never allocates.
  IdleCompressors() { idle_.reserve(kMostIdle); }
  ~IdleCompressors() { Keep(false); }

  // An idle compressor of `level`, or null.
  libdeflate_compressor* Take(int level) {
    std::lock_guard lock(mutex_);
    const auto found = std::find_if(idle_.rbegin(), idle_.rend(), [level](const Idle& i) { return i.level == level; });
    if (found == idle_.rend()) return nullptr;
    libdeflate_compressor* compressor = found->compressor;
    idle_.erase(std::next(found).base());
    return compressor;
  }

  // Keeps `compressor` while idle ones are kept and it fits, else frees it.
  void Give(int level, libdeflate_compressor* compressor) {
    {
      std::lock_guard lock(mutex_);
      if (keep_ && Held() + CompressorBytes(level) <= settings::kIdleCompressorMemory) {
        idle_.push_back({level, compressor});
        return;
      }
    }
    libdeflate_free_compressor(compressor);
  }

  void Keep(bool keep) {
    std::lock_guard lock(mutex_);
    keep_ = keep;
    if (keep) return;
    for (const Idle& idle : idle_) libdeflate_free_compressor(idle.compressor);
    idle_.clear();
  }

  size_t Bytes() {
    std::lock_guard lock(mutex_);
    return Held();
  }

 private:
  struct Idle {
    int level;
    libdeflate_compressor* compressor;
  };
  // The smallest compressors fill the memory with the most of them.
  static constexpr size_t kMostIdle = settings::kIdleCompressorMemory / kLightCompressorBytes + 1;

  // The memory of the idle ones; the caller holds the lock.
  size_t Held() const {
    size_t bytes = 0;
    for (const Idle& idle : idle_) bytes += CompressorBytes(idle.level);
    return bytes;
  }

  std::mutex mutex_;
  std::vector<Idle> idle_;
  bool keep_ = true;
};

IdleCompressors& Idle() {
  static IdleCompressors idle;
  return idle;
}

}  // namespace

ZlibCompressor::ZlibCompressor(int level) : level_(level) {
  // libdeflate refuses a level it does not have the same way as a lack of
  // memory; only the second is one.
  if (level < 0 || level > kStrongestDeflateLevel) throw EncoderFault("no such deflate level");
  compressor_ = Idle().Take(level);
  if (compressor_ == nullptr) compressor_ = libdeflate_alloc_compressor(level);
  if (compressor_ == nullptr) throw std::bad_alloc();
}

ZlibCompressor::~ZlibCompressor() { Idle().Give(level_, compressor_); }

void KeepIdleCompressors(bool keep) { Idle().Keep(keep); }

size_t IdleCompressorBytes() { return Idle().Bytes(); }

size_t CompressorBytes(int level) { return level >= 10 ? kStrongCompressorBytes : kLightCompressorBytes; }

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
