// Compresses the input with the strong pass in chunks and inflates the
// joined stream back through zlib and libdeflate; any difference, or other
// bytes on one worker than on two, aborts. The first byte picks the level
// (its low 4 bits, 0 to 12) and the chunk size (its top 2 bits: small
// chunks, so that short inputs are joined many times).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "deflate/inflate_support.h"
#include "png/chunked_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace repng;
  if (size == 0) return 0;
  constexpr size_t kChunks[4] = {64, 300, 1000, 4000};
  const int level = (data[0] & 15) % 13;
  const size_t chunk_size = kChunks[data[0] >> 6];
  const std::span<const uint8_t> input(data + 1, size - 1);
  std::vector<uint8_t> streams[2];
  for (unsigned workers = 1; workers <= 2; ++workers) {
    png::Workers pool(workers);
    png::ZlibCompressor compressor(level);
    streams[workers - 1] = png::ChunkedZlibStream(input, chunk_size, compressor, pool);
  }
  if (streams[0] != streams[1]) {
    std::fprintf(stderr, "other bytes on two workers\n");
    std::abort();
  }
  const std::vector<uint8_t> expected(input.begin(), input.end());
  const auto by_zlib = deflate::testing::ZlibInflate(streams[0], input.size());
  const auto by_libdeflate = deflate::testing::LibdeflateInflate(streams[0], input.size());
  if (!by_zlib || *by_zlib != expected || !by_libdeflate || *by_libdeflate != expected) {
    std::fprintf(stderr, "round trip failed: zlib %d, libdeflate %d\n", by_zlib && *by_zlib == expected,
                 by_libdeflate && *by_libdeflate == expected);
    std::abort();
  }
  return 0;
}
