#include "png/zlib_compression.h"

#include <libdeflate.h>
#include <zopfli/deflate.h>
#include <zopfli/zopfli.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <new>
#include <utility>

#include "png/big_endian.h"
#include "png/encoder_fault.h"
#include "png/parallel_trials.h"

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

namespace {

// Deflate streams end anywhere inside a byte; pieces are joined bit by bit,
// least significant bit first, as deflate packs them.
class BitWriter {
 public:
  // Appends the first `bits` bits of `data`.
  void Append(const uint8_t* data, size_t bits) {
    if (used_ == 0) {  // byte-aligned: whole bytes go as they are
      bytes_.insert(bytes_.end(), data, data + (bits + 7) / 8);
      used_ = static_cast<unsigned>(bits % 8);
      if (used_ != 0) bytes_.back() = static_cast<uint8_t>(bytes_.back() & ((1u << used_) - 1));
      return;
    }
    for (size_t i = 0; i < bits; ++i) {
      if (used_ == 0) bytes_.push_back(0);
      const unsigned bit = (data[i / 8] >> (i % 8)) & 1u;
      bytes_.back() = static_cast<uint8_t>(bytes_.back() | bit << used_);
      used_ = (used_ + 1) % 8;
    }
  }
  // Zopfli may end a piece with a stored block, which is aligned to bytes of
  // the piece's own output: each piece must start on a byte. An empty stored
  // block (not final) pads the stream to the next byte for 5 bytes at most.
  void AlignToByte() {
    if (used_ == 0) return;
    const uint8_t stored_header = 0;  // BFINAL 0, BTYPE 00
    Append(&stored_header, 3);
    used_ = 0;  // the rest of the byte is padding, already zero
    const uint8_t empty_length[4] = {0x00, 0x00, 0xFF, 0xFF};  // LEN 0, NLEN
    bytes_.insert(bytes_.end(), std::begin(empty_length), std::end(empty_length));
  }

  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
  unsigned used_ = 0;  // bits used in the last byte; 0 when it is full
};

// Zopfli's caches take about 30 bytes for each byte of a piece, and a round
// resets about a megabyte of match tables.
size_t ZopfliBytes(size_t piece) { return 30 * piece + (1 << 20); }

struct ZopfliPiece {
  std::unique_ptr<unsigned char, decltype(&std::free)> bytes{nullptr, &std::free};
  size_t size = 0;
  unsigned char last_byte_bits = 0;  // zopfli's bit pointer: 0 when the last byte is full
  size_t Bits() const { return size * 8 - (last_byte_bits == 0 ? 0 : 8u - last_byte_bits); }
};

}  // namespace

std::vector<uint8_t> ZopfliCompressZlib(const uint8_t* data, size_t size, const ZopfliSettings& settings,
                                        Workers& workers) {
  ZopfliOptions options;
  ZopfliInitOptions(&options);
  options.numiterations = settings.iterations;
  options.blocksplitting = settings.split_blocks ? 1 : 0;
  options.blocksplittingmax = settings.max_blocks;

  const size_t pieces = std::clamp<size_t>(settings.pieces, 1, std::max<size_t>(size, 1));
  std::vector<ZopfliPiece> compressed(pieces);
  workers.Run(pieces, [&](size_t index, unsigned) {
    const size_t start = size / pieces * index;
    const size_t end = index + 1 == pieces ? size : size / pieces * (index + 1);
    unsigned char* out = nullptr;
    ZopfliPiece& piece = compressed[index];
    ZopfliDeflatePart(&options, 2, index + 1 == pieces ? 1 : 0, data, start, end, &piece.last_byte_bits,
                      &out, &piece.size);
    piece.bytes.reset(out);
    if (out == nullptr || piece.size == 0) throw std::bad_alloc();
  }, TrialsAtOnce(ZopfliBytes(size / pieces)));

  BitWriter stream;
  const uint8_t header[2] = {0x78, 0xDA};  // deflate, 32 KiB window, strongest level
  stream.Append(header, 16);
  for (const ZopfliPiece& piece : compressed) {
    stream.AlignToByte();
    stream.Append(piece.bytes.get(), piece.Bits());
  }
  std::vector<uint8_t> zlib = stream.Take();  // the final block ends the stream, padded to a byte
  AppendBigEndian32(libdeflate_adler32(1, data, size), &zlib);
  return zlib;
}

}  // namespace repng::png
