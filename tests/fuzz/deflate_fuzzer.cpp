// Compresses the input with our deflate and inflates it back through zlib
// and libdeflate; any difference aborts. The first byte picks the effort
// (its low 3 bits) and the segment size (its top 2 bits: small segments,
// so that short inputs cross segment edges too). The high efforts search
// and refine many times longer, so they take short inputs only: their
// paths are the same on short inputs, and the run tries far more inputs.
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
  constexpr int kEfforts[8] = {1, 2, 3, 4, 5, 5, 6, 7};
  constexpr size_t kSegments[4] = {kDefaultSegmentSize, kMinSegmentSize, 2 * kMinSegmentSize, 3 * kMinSegmentSize};
  constexpr size_t kLongestAtHighEffort = 2000;
  Settings settings;
  settings.effort = kEfforts[data[0] & 7];
  if (settings.effort > 5 && size > kLongestAtHighEffort) settings.effort = 3;
  settings.segment_size = kSegments[data[0] >> 6];
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
