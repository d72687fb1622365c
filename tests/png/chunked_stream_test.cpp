// The strong pass's stream in chunks: one zlib stream that inflates to the
// data whatever the chunks' streams end with (a stored block, a block ending
// on any bit of its byte), the same bytes on any number of workers, and the
// compressor's own stream when there is one chunk.
#include <gtest/gtest.h>
#include <libdeflate.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "png/chunked_stream.h"
#include "png/parallel_trials.h"
#include "png/zlib_compression.h"

namespace repng::png {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Inflated(const Bytes& stream, size_t expected_size) {
  Bytes out(expected_size + 1);
  uLongf size = static_cast<uLongf>(out.size());
  const int status = uncompress(out.data(), &size, stream.data(), static_cast<uLong>(stream.size()));
  if (status != Z_OK) return {};
  out.resize(size);
  return out;
}

Bytes Random(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes data(size);
  for (uint8_t& byte : data) byte = static_cast<uint8_t>(random());
  return data;
}

// Words from a small vocabulary: matches of every length and distance.
Bytes Text(size_t size, uint32_t seed) {
  static const char* const kWords[] = {"pixel ", "row ", "filter ", "paeth ", "deflate ", "block ", "huffman "};
  std::mt19937 random(seed);
  Bytes data;
  while (data.size() < size) {
    const std::string word = kWords[random() % std::size(kWords)];
    data.insert(data.end(), word.begin(), word.end());
  }
  data.resize(size);
  return data;
}

Bytes Period(size_t size, size_t period) {
  Bytes data(size);
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(i % period * 37);
  return data;
}

// A picture-like mix: runs, noise and repeats one after another, so that
// chunks end in stored, fixed and dynamic blocks.
Bytes Mixed(size_t size) {
  Bytes data;
  const Bytes noise = Random(size / 4 + 1, 7);
  const Bytes text = Text(size / 4 + 1, 8);
  while (data.size() < size) {
    data.insert(data.end(), 3000, 0);
    data.insert(data.end(), noise.begin(), noise.begin() + static_cast<ptrdiff_t>(std::min<size_t>(noise.size(), 5000)));
    data.insert(data.end(), text.begin(), text.begin() + static_cast<ptrdiff_t>(std::min<size_t>(text.size(), 7000)));
  }
  data.resize(size);
  return data;
}

Bytes Chunked(const Bytes& data, size_t chunk_size, int level, unsigned worker_count) {
  Workers workers(worker_count);
  ZlibCompressor compressor(level);
  return ChunkedZlibStream(data, chunk_size, compressor, workers);
}

TEST(ChunkedStream, InflatesToTheDataOnEveryKindOfChunkAndLevel) {
  const std::vector<std::pair<std::string, Bytes>> inputs = {
      {"zeros", Bytes(70000, 0)},          {"random", Random(70000, 1)},   {"text", Text(70000, 2)},
      {"period 3", Period(70000, 3)},      {"period 4", Period(70000, 4)}, {"mixed", Mixed(150000)},
  };
  for (const auto& [name, data] : inputs) {
    for (const int level : {1, 6, 9, 12}) {
      for (const size_t chunk_size : {size_t{1000}, size_t{6000}, size_t{40000}}) {
        const Bytes stream = Chunked(data, chunk_size, level, 2);
        EXPECT_EQ(Inflated(stream, data.size()), data) << name << ", level " << level << ", chunks of " << chunk_size;
        // The header libdeflate gives the level, as in a stream of one chunk.
        const Bytes whole = Chunked(data, data.size(), level, 2);
        EXPECT_TRUE(std::equal(whole.begin(), whole.begin() + 2, stream.begin())) << "level " << level;
      }
    }
  }
}

TEST(ChunkedStream, JoinsChunksEndingOnEveryBitOfTheirLastByte) {
  // Small chunks of varied sizes end their streams on every bit position;
  // the empty stored block that follows takes a byte of its own after the
  // last two and after a whole byte.
  std::set<unsigned> ends_seen;
  const Bytes text = Text(20000, 3);
  for (size_t chunk_size = 64; chunk_size < 400; chunk_size += 7) {
    const Bytes data(text.begin(), text.begin() + static_cast<ptrdiff_t>(chunk_size * 5));
    libdeflate_compressor* raw = libdeflate_alloc_compressor(9);
    ASSERT_NE(raw, nullptr);
    Bytes first(libdeflate_deflate_compress_bound(raw, chunk_size));
    first.resize(libdeflate_deflate_compress(raw, data.data(), chunk_size, first.data(), first.size()));
    libdeflate_free_compressor(raw);
    RawStreamEnds ends;
    ASSERT_TRUE(FindRawStreamEnds(first, &ends));
    ends_seen.insert(static_cast<unsigned>(ends.end % 8));

    EXPECT_EQ(Inflated(Chunked(data, chunk_size, 9, 2), data.size()), data) << "chunks of " << chunk_size;
  }
  EXPECT_EQ(ends_seen.size(), 8u) << "not every bit position was tried";
}

TEST(ChunkedStream, FindsTheLastBlockAndTheEndOfARawStream) {
  const Bytes data = Mixed(100000);
  libdeflate_compressor* raw = libdeflate_alloc_compressor(6);
  ASSERT_NE(raw, nullptr);
  Bytes stream(libdeflate_deflate_compress_bound(raw, data.size()));
  stream.resize(libdeflate_deflate_compress(raw, data.data(), data.size(), stream.data(), stream.size()));
  libdeflate_free_compressor(raw);

  RawStreamEnds ends;
  ASSERT_TRUE(FindRawStreamEnds(stream, &ends));
  EXPECT_EQ((ends.end + 7) / 8, stream.size());
  EXPECT_LT(ends.final_block, ends.end);
  EXPECT_GT(ends.final_block, 0u) << "the data takes several blocks";
  EXPECT_NE(stream[ends.final_block / 8] & (1u << (ends.final_block % 8)), 0u) << "the final bit is set there";

  // Cut short, or followed by more bytes, it is not one whole stream.
  EXPECT_FALSE(FindRawStreamEnds(Bytes(stream.begin(), stream.end() - 1), &ends));
  Bytes longer = stream;
  longer.push_back(0);
  EXPECT_FALSE(FindRawStreamEnds(longer, &ends));
  EXPECT_FALSE(FindRawStreamEnds(Bytes{0xFF, 0xFF, 0xFF}, &ends));
  EXPECT_FALSE(FindRawStreamEnds(Bytes{}, &ends));
}

TEST(ChunkedStream, TheSameBytesOnAnyNumberOfWorkers) {
  const Bytes data = Mixed(300000);
  const Bytes one = Chunked(data, 20000, 10, 1);
  for (const unsigned count : {2u, 3u, 8u}) EXPECT_EQ(Chunked(data, 20000, 10, count), one) << count << " workers";
}

TEST(ChunkedStream, OneChunkIsTheCompressorsOwnStream) {
  // Up to one and a half chunks' worth stays whole.
  const Bytes data = Text(14000, 4);
  ZlibCompressor compressor(12);
  Bytes whole;
  ASSERT_TRUE(compressor.Compress(data.data(), data.size(), SIZE_MAX, &whole));
  EXPECT_EQ(Chunked(data, 10000, 12, 2), whole);
  // Beyond, the stream keeps the compressor's header and the data's check.
  const Bytes split = Chunked(data, 5000, 12, 2);
  ASSERT_GE(split.size(), 6u);
  EXPECT_EQ(split[0], whole[0]);
  EXPECT_EQ(split[1], whole[1]);
  EXPECT_TRUE(std::equal(split.end() - 4, split.end(), whole.end() - 4));
  EXPECT_EQ(Inflated(split, data.size()), data);
}

TEST(ChunkedStream, AnEmptyInputIsOneEmptyStream) {
  const Bytes stream = Chunked({}, 1000, 12, 2);
  Bytes out(1);
  uLongf size = 1;
  EXPECT_EQ(uncompress(out.data(), &size, stream.data(), static_cast<uLong>(stream.size())), Z_OK);
  EXPECT_EQ(size, 0u);
}

}  // namespace
}  // namespace repng::png
