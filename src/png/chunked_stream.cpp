#include "png/chunked_stream.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <limits>
#include <new>

#include "deflate/deflate.h"
#include "png/big_endian.h"
#include "png/encoder_fault.h"

namespace repng::png {
namespace {

constexpr size_t kUnbounded = std::numeric_limits<size_t>::max();

// Appends the bits of raw before `end` to *out, which ends on a byte
// boundary; the bits of the last byte past `end` are cleared.
void AppendBitsBefore(std::span<const uint8_t> raw, uint64_t end, std::vector<uint8_t>* out) {
  const size_t whole = static_cast<size_t>(end / 8);
  out->insert(out->end(), raw.begin(), raw.begin() + static_cast<ptrdiff_t>(whole));
  if (const unsigned partial = static_cast<unsigned>(end % 8)) {
    out->push_back(static_cast<uint8_t>(raw[whole] & ((1u << partial) - 1)));
  }
}

// Appends one chunk's stream, which is not the last: its last block loses
// its final bit, and an empty stored block (three zero bits, zero bits to
// the byte's end, then a length of 0 and its complement) brings the next
// chunk's stream to a byte boundary, where it was made to start.
void AppendInnerChunk(std::vector<uint8_t>& raw, const RawStreamEnds& ends, std::vector<uint8_t>* out) {
  raw[static_cast<size_t>(ends.final_block / 8)] &= static_cast<uint8_t>(~(1u << (ends.final_block % 8)));
  AppendBitsBefore(raw, ends.end, out);
  // The stored block's header fits in the last byte's cleared bits when
  // three of them are left.
  const unsigned used = static_cast<unsigned>(ends.end % 8);
  if (used == 0 || used > 5) out->push_back(0);
  constexpr std::array<uint8_t, 4> kEmptyStoredLength{0x00, 0x00, 0xFF, 0xFF};
  out->insert(out->end(), kEmptyStoredLength.begin(), kEmptyStoredLength.end());
}

struct Chunk {
  std::vector<uint8_t> raw;
  RawStreamEnds ends;
  bool readable = false;
};

}  // namespace

bool FindRawStreamEnds(std::span<const uint8_t> raw, RawStreamEnds* ends) {
  z_stream stream{};
  const int started = inflateInit2(&stream, -MAX_WBITS);
  if (started == Z_MEM_ERROR) throw std::bad_alloc();
  if (started != Z_OK) return false;
  stream.next_in = const_cast<Bytef*>(raw.data());
  constexpr size_t kMostIn = std::numeric_limits<uInt>::max();
  size_t left = raw.size();
  std::array<Bytef, 64 * 1024> sink;
  // The bits read so far: the bytes taken less the bits the inflater holds
  // unused, which data_type counts below its flags.
  const auto bits_read = [&] {
    return static_cast<uint64_t>(stream.next_in - raw.data()) * 8 - static_cast<unsigned>(stream.data_type & 63);
  };
  uint64_t block_start = 0;
  uint64_t final_end = 0;
  bool whole = false;
  for (;;) {
    if (stream.avail_in == 0 && left > 0) {
      stream.avail_in = static_cast<uInt>(std::min(left, kMostIn));
      left -= stream.avail_in;
    }
    stream.next_out = sink.data();
    stream.avail_out = static_cast<uInt>(sink.size());
    const int status = inflate(&stream, Z_BLOCK);
    if (status == Z_STREAM_END) {
      whole = left == 0 && stream.avail_in == 0 && final_end > 0;
      ends->final_block = block_start;
      ends->end = final_end;
      break;
    }
    if (status != Z_OK) break;  // not deflate, or cut short
    // Just past an end of block: the next block begins there, or, after the
    // last, the stream ends (the inflater then skips to the byte's end).
    if ((stream.data_type & 128) != 0) {
      if ((stream.data_type & 64) == 0) {
        block_start = bits_read();
      } else {
        final_end = bits_read();
      }
    }
  }
  inflateEnd(&stream);
  return whole;
}

std::vector<uint8_t> ChunkedZlibStream(std::span<const uint8_t> data, size_t chunk_size,
                                       ZlibCompressor& compressor, Workers& workers) {
  const deflate::SegmentLayout layout = deflate::LayoutSegments(data.size(), chunk_size);
  std::vector<uint8_t> stream;
  if (layout.count <= 1) {
    if (!compressor.Compress(data.data(), data.size(), kUnbounded, &stream)) {
      throw EncoderFault("deflate refused an unbounded stream");
    }
    return stream;
  }
  std::vector<Chunk> chunks(layout.count);
  WorkerCompressors others(workers.Count());
  // A chunk holds its bytes, its stream and a compressor.
  const size_t chunk_bytes = 2 * layout.Longest() + CompressorBytes(compressor.level());
  workers.Run(chunks.size(), [&](size_t index, unsigned worker) {
    ZlibCompressor* own = &compressor;
    if (worker > 0) {
      if (!others[worker]) others[worker].emplace(compressor.level());
      own = &*others[worker];
    }
    Chunk& chunk = chunks[index];
    const size_t begin = layout.Begin(index);
    const size_t size = own->DeflateSize(data.data() + begin, layout.Begin(index + 1) - begin, kUnbounded, &chunk.raw);
    chunk.raw.resize(size);
    chunk.raw.shrink_to_fit();  // the room was the chunk's bound
    chunk.readable = size > 0 && FindRawStreamEnds(chunk.raw, &chunk.ends);
  }, TrialsAtOnce(chunk_bytes));
  others.clear();

  size_t total = 0;
  for (const Chunk& chunk : chunks) {
    if (!chunk.readable) throw EncoderFault("a chunk's deflate stream does not read back");
    total += chunk.raw.size() + 6;
  }
  // The compressor's own zlib header for its level: that of its stream of
  // nothing.
  if (!compressor.Compress(nullptr, 0, kUnbounded, &stream)) throw EncoderFault("deflate refused an empty stream");
  stream.resize(2);
  stream.reserve(total + 6);
  for (size_t index = 0; index + 1 < chunks.size(); ++index) {
    AppendInnerChunk(chunks[index].raw, chunks[index].ends, &stream);
    std::vector<uint8_t>().swap(chunks[index].raw);
  }
  AppendBitsBefore(chunks.back().raw, chunks.back().ends.end, &stream);
  AppendBigEndian32(libdeflate_adler32(1, data.data(), data.size()), &stream);
  return stream;
}

}  // namespace repng::png
