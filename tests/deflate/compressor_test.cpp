#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "deflate/deflate.h"
#include "deflate/inflate_support.h"

namespace repng::deflate {
namespace {

using Bytes = std::vector<uint8_t>;

struct Random {
  uint64_t state;
  uint32_t Next() {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(state >> 33);
  }
};

Bytes RandomBytes(size_t size, uint64_t seed) {
  Random random{seed};
  Bytes bytes(size);
  for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random.Next());
  return bytes;
}

Bytes Periodic(size_t size, size_t period) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>('a' + i % period * 7);
  return bytes;
}

// Words from a small vocabulary: compressible, with matches of all lengths
// and distances.
Bytes TextLike(size_t size, uint64_t seed) {
  static const char* const kWords[] = {"the ", "deflate ", "stream ", "of ", "bytes ", "and ", "matches ",
                                       "window ", "block ", "huffman ", "code\n", "length ", "distance, "};
  Random random{seed};
  Bytes bytes;
  while (bytes.size() < size) {
    const char* word = kWords[random.Next() % std::size(kWords)];
    bytes.insert(bytes.end(), word, word + std::strlen(word));
  }
  bytes.resize(size);
  return bytes;
}

// Rows of a smooth picture with noise, filtered by their left neighbour as
// PNG's Sub filter does: small values around zero, long-range repeats.
Bytes PictureLike(size_t width, size_t height, uint64_t seed) {
  Random random{seed};
  Bytes bytes;
  for (size_t y = 0; y < height; ++y) {
    bytes.push_back(1);
    uint8_t previous = 0;
    for (size_t x = 0; x < width; ++x) {
      const auto value = static_cast<uint8_t>((x * 3 + y * 2) / 5 + (random.Next() % 7 == 0 ? random.Next() % 5 : 0));
      bytes.push_back(static_cast<uint8_t>(value - previous));
      previous = value;
    }
  }
  return bytes;
}

Bytes Compress(const Bytes& input, const Settings& settings, const ParallelRunner& runner = nullptr) {
  std::unique_ptr<Compressor> compressor;
  EXPECT_EQ(Compressor::Create(settings, &compressor), Status::kOk);
  Bytes stream;
  EXPECT_EQ(compressor->Compress(input, &stream, runner), Status::kOk);
  return stream;
}

// Compresses and inflates back through zlib and libdeflate; returns the
// stream's size.
size_t ExpectRoundTrip(const Bytes& input, const Settings& settings = {}) {
  const Bytes stream = Compress(input, settings);
  const auto by_zlib = testing::ZlibInflate(stream, input.size());
  const auto by_libdeflate = testing::LibdeflateInflate(stream, input.size());
  EXPECT_TRUE(by_zlib.has_value() && *by_zlib == input) << "zlib, " << input.size() << " bytes";
  EXPECT_TRUE(by_libdeflate.has_value() && *by_libdeflate == input) << "libdeflate, " << input.size() << " bytes";
  return stream.size();
}

Settings WithEffort(int effort, size_t segment_size = kDefaultSegmentSize) {
  Settings settings;
  settings.effort = effort;
  settings.segment_size = segment_size;
  return settings;
}

TEST(DeflateCompressor, TinyInputs) {
  EXPECT_EQ(ExpectRoundTrip({}), 8u);  // header, an empty fixed block, check
  ExpectRoundTrip({0x2A});
  ExpectRoundTrip({1, 2});
  ExpectRoundTrip({7, 7, 7});
  ExpectRoundTrip({7, 7, 7, 7, 7, 7, 7});
}

TEST(DeflateCompressor, ZerosAcrossSegments) {
  const Bytes zeros(3 * kDefaultSegmentSize + 12345, 0);
  // About a 258-byte match per two bytes written, and one block per segment.
  EXPECT_LT(ExpectRoundTrip(zeros), zeros.size() / 200);
}

TEST(DeflateCompressor, RandomBytesAreStored) {
  for (size_t size : {100, 70000, 300000}) {
    const Bytes random = RandomBytes(size, size);
    const size_t pieces = (size + 65534) / 65535;
    EXPECT_LE(ExpectRoundTrip(random), size + 5 * pieces + 6 + 1) << size;
  }
}

TEST(DeflateCompressor, PeriodsAndRuns) {
  EXPECT_LT(ExpectRoundTrip(Periodic(100000, 3)), 1000u);
  EXPECT_LT(ExpectRoundTrip(Periodic(100001, 4)), 1000u);
  // Runs of 258 and more of one byte, between random bytes.
  Random random{9};
  Bytes runs;
  for (int r = 0; r < 200; ++r) {
    runs.insert(runs.end(), 250 + random.Next() % 800, static_cast<uint8_t>(random.Next()));
    runs.push_back(static_cast<uint8_t>(random.Next()));
  }
  ExpectRoundTrip(runs);
}

TEST(DeflateCompressor, RepeatAtTheWindowsEdge) {
  // The second copy can only come from exactly 32,768 bytes back.
  Bytes bytes = RandomBytes(32768, 5);
  const Bytes copy = bytes;
  bytes.insert(bytes.end(), copy.begin(), copy.end());
  EXPECT_LT(ExpectRoundTrip(bytes), 32768u + 600);
  // One byte further the copy is out of reach.
  Bytes beyond = RandomBytes(32769, 5);
  beyond.insert(beyond.end(), copy.begin(), copy.begin() + 1000);
  EXPECT_GT(ExpectRoundTrip(beyond), 32769u + 990);
}

TEST(DeflateCompressor, InputEndingMidMatch) {
  Bytes bytes = TextLike(5000, 3);
  bytes.insert(bytes.end(), bytes.begin() + 100, bytes.begin() + 1100);
  for (size_t cut : {1u, 2u, 3u, 4u, 259u, 1000u}) {
    ExpectRoundTrip(Bytes(bytes.begin(), bytes.end() - static_cast<ptrdiff_t>(cut)));
  }
}

TEST(DeflateCompressor, MatchesReachAcrossSegmentEdges) {
  // Segments of 1 KiB over data that repeats every 1,500 bytes: almost every
  // segment copies from the one before.
  const Bytes block = RandomBytes(1500, 11);
  Bytes bytes;
  for (int i = 0; i < 20; ++i) bytes.insert(bytes.end(), block.begin(), block.end());
  EXPECT_LT(ExpectRoundTrip(bytes, WithEffort(kDefaultEffort, kMinSegmentSize)), 1500u + 20 * 40);
  ExpectRoundTrip(TextLike(10 * kMinSegmentSize + 17, 4), WithEffort(kDefaultEffort, kMinSegmentSize));
}

TEST(DeflateCompressor, EveryEffortRoundTrips) {
  Bytes mixed = TextLike(40000, 1);
  const Bytes picture = PictureLike(300, 60, 2);
  mixed.insert(mixed.end(), picture.begin(), picture.end());
  const Bytes noise = RandomBytes(3000, 3);
  mixed.insert(mixed.end(), noise.begin(), noise.end());
  size_t previous = SIZE_MAX;
  for (int effort = kMinEffort; effort <= kMaxEffort; ++effort) {
    const size_t size = ExpectRoundTrip(mixed, WithEffort(effort, 16 * kMinSegmentSize));
    // More effort may tie but should not lose much.
    EXPECT_LE(size, previous + previous / 100) << "effort " << effort;
    previous = size;
  }
}

ParallelRunner ThreadRunner(size_t threads) {
  return [threads](size_t count, const std::function<void(size_t)>& task) {
    std::atomic<size_t> next{0};
    std::vector<std::thread> workers;
    for (size_t t = 0; t < threads; ++t) {
      workers.emplace_back([&] {
        for (size_t i = next++; i < count; i = next++) task(i);
      });
    }
    for (std::thread& worker : workers) worker.join();
  };
}

TEST(DeflateCompressor, SameBytesWhateverTheRunnerAndTheOrderOfSegments) {
  Bytes bytes = TextLike(30000, 8);
  const Bytes picture = PictureLike(200, 100, 8);
  bytes.insert(bytes.end(), picture.begin(), picture.end());
  const Settings settings = WithEffort(kDefaultEffort, 4 * kMinSegmentSize);
  const Bytes alone = Compress(bytes, settings);
  EXPECT_EQ(Compress(bytes, settings, ThreadRunner(1)), alone);
  EXPECT_EQ(Compress(bytes, settings, ThreadRunner(4)), alone);
  // Segments are written as the ones before them finish: in whatever order
  // they finish, the stream is the same.
  const ParallelRunner backwards = [](size_t count, const std::function<void(size_t)>& task) {
    for (size_t i = count; i-- > 0;) task(i);
  };
  const ParallelRunner odd_first = [](size_t count, const std::function<void(size_t)>& task) {
    for (size_t i = 1; i < count; i += 2) task(i);
    for (size_t i = 0; i < count; i += 2) task(i);
  };
  EXPECT_EQ(Compress(bytes, settings, backwards), alone);
  EXPECT_EQ(Compress(bytes, settings, odd_first), alone);
}

TEST(DeflateCompressor, SegmentsShareTheInputEvenly) {
  struct Case {
    size_t input, segment, count;
  };
  const Case cases[] = {
      {1, kMinSegmentSize, 1},
      {4 * 1024 + 4, 1024, 4},                                  // rows' filter bytes: no segment of 4 bytes
      {1434, 1024, 1},                                          // 1.4 segments
      {1639, 1024, 2},                                          // 1.6 segments
      {1049088, 256 * 1024, 4},                                 // a 512 x 512 icon's filtered rows
      {kMaxSegmentSize + kMaxSegmentSize / 3, kMaxSegmentSize, 2},  // never past the largest segment
  };
  for (const Case& c : cases) {
    const SegmentLayout layout = LayoutSegments(c.input, c.segment);
    EXPECT_EQ(layout.count, c.count) << c.input;
    EXPECT_LE(layout.Longest(), std::min(c.segment + c.segment / 2, kMaxSegmentSize)) << c.input;
    EXPECT_EQ(layout.Begin(0), 0u);
    EXPECT_EQ(layout.Begin(layout.count), c.input);
    for (size_t i = 0; i < layout.count; ++i) {
      const size_t length = layout.Begin(i + 1) - layout.Begin(i);
      EXPECT_TRUE(length == layout.Longest() || length + 1 == layout.Longest()) << c.input << " " << i;
    }
  }
  EXPECT_EQ(LayoutSegments(0, kMinSegmentSize).count, 0u);

  // The compressor parses the segments of that layout.
  size_t first_call = 0;
  const ParallelRunner counting = [&](size_t count, const std::function<void(size_t)>& task) {
    if (first_call == 0) first_call = count;
    for (size_t i = 0; i < count; ++i) task(i);
  };
  const Bytes picture = PictureLike(256, 16, 3);  // 16 rows of 256 bytes, each after its filter byte
  Compress(picture, WithEffort(3, 1024), counting);
  EXPECT_EQ(first_call, 4u);
}

TEST(DeflateCompressor, NoLargerThanLibdeflatesBest) {
  const Bytes text = TextLike(200000, 21);
  const Bytes picture = PictureLike(600, 300, 22);
  for (const Bytes* input : {&text, &picture}) {
    EXPECT_LE(ExpectRoundTrip(*input), testing::LibdeflateCompress(*input, 12).size());
  }
}

TEST(DeflateCompressor, RefusesBadSettings) {
  std::unique_ptr<Compressor> compressor;
  EXPECT_EQ(Compressor::Create(WithEffort(kMinEffort - 1), &compressor), Status::kBadEffort);
  EXPECT_EQ(Compressor::Create(WithEffort(kMaxEffort + 1), &compressor), Status::kBadEffort);
  EXPECT_EQ(Compressor::Create(WithEffort(kDefaultEffort, kMinSegmentSize - 1), &compressor),
            Status::kBadSegmentSize);
  EXPECT_EQ(Compressor::Create(WithEffort(kDefaultEffort, kMaxSegmentSize + 1), &compressor),
            Status::kBadSegmentSize);
  EXPECT_EQ(compressor, nullptr);
}

TEST(DeflateCompressor, RunnerFailuresAreReported) {
  std::unique_ptr<Compressor> compressor;
  ASSERT_EQ(Compressor::Create(WithEffort(2, kMinSegmentSize), &compressor), Status::kOk);
  const Bytes bytes = TextLike(5000, 1);
  Bytes stream = {1, 2, 3};
  const ParallelRunner lazy = [](size_t count, const std::function<void(size_t)>& task) {
    for (size_t i = 0; i + 1 < count; ++i) task(i);
  };
  EXPECT_EQ(compressor->Compress(bytes, &stream, lazy), Status::kRunnerFailed);
  EXPECT_TRUE(stream.empty());
  const ParallelRunner throwing = [](size_t, const std::function<void(size_t)>&) {
    throw std::runtime_error("no threads");
  };
  EXPECT_EQ(compressor->Compress(bytes, &stream, throwing), Status::kRunnerFailed);
  EXPECT_TRUE(stream.empty());
}

}  // namespace
}  // namespace repng::deflate
