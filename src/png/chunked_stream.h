// libdeflate's stream of a large input, in chunks compressed on every worker
// and joined into one zlib stream. One libdeflate run over a whole large
// picture held one core while the others had nothing to do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "png/parallel_trials.h"
#include "png/zlib_compression.h"

namespace repng::png {

// The zlib stream of `data` at the compressor's level. Chunks of about
// `chunk_size` bytes, laid out by the data's size alone, each compressed on
// its own (no match reaches into the chunk before); an input of one chunk
// gets the compressor's own stream, byte for byte. The chunks' streams are
// joined at byte boundaries by an empty stored block each. `compressor`
// serves the calling thread; the other workers make their own. Throws
// std::bad_alloc, or EncoderFault when a chunk's stream cannot be read back.
std::vector<uint8_t> ChunkedZlibStream(std::span<const uint8_t> data, size_t chunk_size,
                                       ZlibCompressor& compressor, Workers& workers);

// Where a raw deflate stream's last block starts and where the stream ends,
// in bits from its start (least significant bit first), as an inflater reads
// it.
struct RawStreamEnds {
  uint64_t final_block = 0;
  uint64_t end = 0;
};

// Reads `raw` through zlib's inflater, block by block. False when it is not
// one whole deflate stream.
bool FindRawStreamEnds(std::span<const uint8_t> raw, RawStreamEnds* ends);

}  // namespace repng::png
