// Compresses the input with our deflate and inflates it back through zlib
// and libdeflate; any difference aborts. The first byte picks the effort
// and, with its top bit, small segments, so that short inputs cross
// segment edges too.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "deflate/deflate.h"
#include "deflate/inflate_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace repng::deflate;
  if (size == 0) return 0;
  Settings settings;
  settings.effort = kMinEffort + data[0] % (kMaxEffort - kMinEffort + 1);
  settings.segment_size = (data[0] & 0x80) != 0 ? 4 * kMinSegmentSize : kDefaultSegmentSize;
  const std::span<const uint8_t> input(data + 1, size - 1);
  std::unique_ptr<Compressor> compressor;
  std::vector<uint8_t> stream;
  if (Compressor::Create(settings, &compressor) != Status::kOk ||
      compressor->Compress(input, &stream) != Status::kOk) {
    std::fprintf(stderr, "compression failed\n");
    std::abort();
  }
  const std::vector<uint8_t> expected(input.begin(), input.end());
  const auto by_zlib = testing::ZlibInflate(stream, input.size());
  const auto by_libdeflate = testing::LibdeflateInflate(stream, input.size());
  if (!by_zlib || *by_zlib != expected || !by_libdeflate || *by_libdeflate != expected) {
    std::fprintf(stderr, "round trip failed: zlib %d, libdeflate %d\n", by_zlib && *by_zlib == expected,
                 by_libdeflate && *by_libdeflate == expected);
    std::abort();
  }
  // Stored blocks bound the size whatever the data: 5 bytes each, at least
  // one per segment.
  const size_t pieces = input.size() / std::min<size_t>(settings.segment_size, 65535) + 1;
  if (stream.size() > input.size() + 5 * pieces + 6) {
    std::fprintf(stderr, "stream larger than stored: %zu for %zu bytes\n", stream.size(), input.size());
    std::abort();
  }
  return 0;
}
