#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "deflate/block_code.h"
#include "deflate/block_splitter.h"
#include "deflate/cost_model.h"
#include "deflate/match_finder.h"
#include "deflate/parser.h"
#include "deflate/segment.h"

namespace repng::deflate {
namespace {

// Rows of a picture-like stream: repeats a row back, runs, and noise.
std::vector<uint8_t> MixedData(size_t rows) {
  std::vector<uint8_t> data;
  uint32_t state = 99;
  for (size_t row = 0; row < rows; ++row) {
    for (size_t x = 0; x < 300; ++x) {
      state = state * 1103515245u + 12345u;
      const uint32_t pick = (state >> 16) % 16;
      if (row > 0 && pick < 11) {
        data.push_back(data[data.size() - 300]);
      } else if (pick < 14 && !data.empty()) {
        data.push_back(data.back());
      } else {
        data.push_back(static_cast<uint8_t>(state >> 24));
      }
    }
  }
  return data;
}

// Replays symbols over data from pos; fails on any symbol that does not
// reproduce the bytes. Returns the position reached.
size_t Replay(const std::vector<uint8_t>& data, size_t pos, std::span<const Symbol> symbols) {
  for (const Symbol symbol : symbols) {
    if (symbol.IsLiteral()) {
      EXPECT_EQ(symbol.value, data[pos]) << "literal at " << pos;
      ++pos;
      continue;
    }
    EXPECT_GE(symbol.value, kMinMatch);
    EXPECT_LE(symbol.value, kMaxMatch);
    EXPECT_LE(symbol.distance, std::min<size_t>(pos, kWindowSize));
    EXPECT_LE(pos + symbol.value, data.size());
    if (::testing::Test::HasFailure()) return pos;
    EXPECT_EQ(std::memcmp(&data[pos], &data[pos - symbol.distance], symbol.value), 0) << "match at " << pos;
    pos += symbol.value;
  }
  return pos;
}

uint64_t PathCost(std::span<const Symbol> symbols, const CostModel& model) {
  uint64_t cost = 0;
  for (const Symbol symbol : symbols) {
    cost += symbol.IsLiteral() ? model.literal[symbol.value] : model.length[symbol.value] + model.Distance(symbol.distance);
  }
  return cost;
}

// Each parse test runs on the baseline instructions, on AVX2 and on the
// widest this processor has (AVX-512 here, where it has them).
class OptimalParserTest : public ::testing::TestWithParam<OptimalParser::Vectors> {};

INSTANTIATE_TEST_SUITE_P(Vectors, OptimalParserTest,
                         ::testing::Values(OptimalParser::Vectors::kBaseline, OptimalParser::Vectors::kAvx2,
                                           OptimalParser::Vectors::kWidest));

TEST_P(OptimalParserTest, NeverCostsMoreThanTheLazyParse) {
  const std::vector<uint8_t> data = MixedData(60);
  MatchCache cache;
  cache.Build(data.data(), 0, data.size(), MatchSearch{256, 258});
  const ParseInput whole{data.data(), &cache, 0, 0, data.size()};
  std::vector<Symbol> lazy;
  LazyParse(whole, &lazy);
  EXPECT_EQ(Replay(data, 0, lazy), data.size());
  // Under the lazy parse's own statistics and under a flat model, and on a
  // stretch that starts and ends mid-data (matches cut at its end).
  const CostModel models[] = {CostModel::FromCounts(CountSymbols(lazy)), CostModel::FromCounts(Histogram{})};
  for (const CostModel& model : models) {
    for (const ParseInput& input : {whole, ParseInput{data.data(), &cache, 0, 1234, 9876}}) {
      std::vector<Symbol> lazy_part, optimal;
      LazyParse(input, &lazy_part);
      OptimalParser parser(GetParam());
      parser.Parse(input, model, &optimal);
      EXPECT_EQ(Replay(data, input.first, optimal), input.last);
      EXPECT_LE(PathCost(optimal, model), PathCost(lazy_part, model));
    }
  }
}

// The least path cost by the plain recurrence: every length of every match
// at every position.
uint64_t LeastCostByEveryLength(const ParseInput& input, const CostModel& model) {
  const size_t n = input.last - input.first;
  std::vector<uint64_t> cost(n + 1, 0);
  for (size_t i = n; i-- > 0;) {
    cost[i] = model.literal[input.data[input.first + i]] + cost[i + 1];
    uint32_t length = kMinMatch;
    for (const Match& match : input.cache->At(input.first + i - input.cache_begin)) {
      for (; length <= match.length && i + length <= n; ++length) {
        cost[i] = std::min<uint64_t>(cost[i], model.length[length] + model.Distance(match.distance) + cost[i + length]);
      }
    }
  }
  return cost[0];
}

// Paths of picture-like data, with a cost model that makes long and short
// matches compete: the parse must find the least cost there is, also on a
// stretch that ends inside matches.
TEST_P(OptimalParserTest, FindsTheLeastCostOfEveryLength) {
  const std::vector<uint8_t> data = MixedData(40);
  MatchCache cache;
  cache.Build(data.data(), 0, data.size(), MatchSearch{256, 258});
  std::vector<Symbol> lazy;
  LazyParse(ParseInput{data.data(), &cache, 0, 0, data.size()}, &lazy);
  Histogram skewed = CountSymbols(lazy);
  for (int slot = 0; slot < 29; slot += 3) skewed.litlen[257 + slot] = 1;  // some lengths dear
  // One parser for all: what it kept of a longer parse must not leak into
  // a shorter one.
  OptimalParser parser(GetParam());
  for (const Histogram& counts : {CountSymbols(lazy), skewed}) {
    const CostModel model = CostModel::FromCounts(counts);
    for (const ParseInput& input : {ParseInput{data.data(), &cache, 0, 0, data.size()},
                                    ParseInput{data.data(), &cache, 0, 777, 5432}}) {
      std::vector<Symbol> optimal;
      parser.Parse(input, model, &optimal);
      EXPECT_EQ(Replay(data, input.first, optimal), input.last);
      EXPECT_EQ(PathCost(optimal, model), LeastCostByEveryLength(input, model));
    }
  }
}

// Runs longer than a match, rows repeated whole, and a stretch repeated
// from as far back as a match reaches: the parse's longest walks, and the
// repeats where it tries only the full length.
std::vector<uint8_t> LongRepeatData() {
  std::vector<uint8_t> data = MixedData(20);
  data.insert(data.end(), 1000, 0);
  data.insert(data.end(), 600, 255);
  const std::vector<uint8_t> row = MixedData(2);
  for (int copy = 0; copy < 6; ++copy) data.insert(data.end(), row.begin(), row.end() - copy * 37);
  const size_t far = data.size() >= kWindowSize ? data.size() - kWindowSize : 0;
  for (size_t k = 0; k < 700; ++k) data.push_back(data[far + k]);
  data.insert(data.end(), 259, 7);
  return data;
}

// The walk in its plainest form: every length of every match offered to
// its target in order of source position, the first of equal costs kept;
// inside a long repeat (one match, the longest, at the same distance 258
// bytes on) only the full length.
std::vector<Symbol> PlainWalk(const ParseInput& input, const CostModel& model) {
  const size_t n = input.last - input.first;
  std::vector<uint64_t> cost(n + 1, UINT64_MAX);
  std::vector<Symbol> step(n + 1);
  cost[0] = 0;
  const auto offer = [&](size_t target, uint64_t total, Symbol how) {
    if (total < cost[target]) {
      cost[target] = total;
      step[target] = how;
    }
  };
  for (size_t i = 0; i < n; ++i) {
    const uint8_t byte = input.data[input.first + i];
    offer(i + 1, cost[i] + model.literal[byte], Symbol{byte, 0});
    const std::span<const Match> matches = input.cache->At(input.first + i - input.cache_begin);
    const size_t ahead = input.first + i + kMaxMatch;
    if (matches.size() == 1 && matches[0].length == kMaxMatch && ahead + kMaxMatch <= input.last) {
      const std::span<const Match> later = input.cache->At(ahead - input.cache_begin);
      if (later.size() == 1 && later[0].length == kMaxMatch && later[0].distance == matches[0].distance) {
        offer(i + kMaxMatch, cost[i] + model.length[kMaxMatch] + model.Distance(matches[0].distance),
              Symbol{kMaxMatch, matches[0].distance});
        continue;
      }
    }
    uint32_t length = kMinMatch;
    for (const Match& match : matches) {
      for (; length <= match.length && i + length <= n; ++length) {
        offer(i + length, cost[i] + model.length[length] + model.Distance(match.distance),
              Symbol{static_cast<uint16_t>(length), match.distance});
      }
    }
  }
  std::vector<Symbol> path;
  for (size_t pos = n; pos > 0; pos -= step[pos].Length()) path.push_back(step[pos]);
  std::reverse(path.begin(), path.end());
  return path;
}

// The same path, symbol for symbol, as the plain walk: on picture-like
// data and on long runs and copies, under models that favour long matches,
// make them dear, or price every length alike, on the whole data, on a
// stretch cut inside matches, and on stretches about as short as the
// lengths a walk keeps in registers.
TEST_P(OptimalParserTest, FindsThePlainWalksPath) {
  for (const std::vector<uint8_t>& data : {MixedData(80), LongRepeatData()}) {
    MatchCache cache;
    cache.Build(data.data(), 0, data.size(), MatchSearch{256, 258});
    std::vector<Symbol> lazy;
    LazyParse(ParseInput{data.data(), &cache, 0, 0, data.size()}, &lazy);
    Histogram long_dear = CountSymbols(lazy);
    for (int slot = 20; slot < 29; ++slot) long_dear.litlen[257 + slot] = 1;
    for (const Histogram& counts : {CountSymbols(lazy), long_dear, Histogram{}}) {
      const CostModel model = CostModel::FromCounts(counts);
      for (const ParseInput& input :
           {ParseInput{data.data(), &cache, 0, 0, data.size()},
            ParseInput{data.data(), &cache, 0, 501, data.size() - 130}, ParseInput{data.data(), &cache, 0, 700, 715},
            ParseInput{data.data(), &cache, 0, 900, 933}, ParseInput{data.data(), &cache, 0, 1200, 1201}}) {
        std::vector<Symbol> path;
        OptimalParser(GetParam()).Parse(input, model, &path);
        const std::vector<Symbol> plain = PlainWalk(input, model);
        ASSERT_EQ(path.size(), plain.size());
        for (size_t k = 0; k < path.size(); ++k) {
          ASSERT_EQ(path[k].value, plain[k].value) << "symbol " << k;
          ASSERT_EQ(path[k].distance, plain[k].distance) << "symbol " << k;
        }
        EXPECT_EQ(Replay(data, input.first, path), input.last);
      }
    }
  }
}

// Picture-like rows, then stretches of other statistics: a segment over it
// splits into several blocks.
std::vector<uint8_t> PatchworkData() {
  std::vector<uint8_t> data = MixedData(150);
  uint32_t state = 7;
  for (int patch = 0; patch < 4; ++patch) {
    for (size_t i = 0; i < 6000; ++i) {
      state = state * 1103515245u + 12345u;
      const uint8_t low = static_cast<uint8_t>((state >> 16) % (patch % 2 == 0 ? 4 : 64));
      data.push_back(static_cast<uint8_t>(patch * 64 + low));
    }
  }
  return data;
}

TEST(CompressSegment, BlocksCoverTheSegmentWithRealSymbolsWhateverTheRunner) {
  const std::vector<uint8_t> data = PatchworkData();
  // A segment that starts after 40,000 bytes: matches may reach back 32 KiB
  // before it, never further.
  const size_t begin = 40000, end = data.size() - 77;
  // The blocks and the two starts of a parse go to the runner: run last
  // first, and on threads of their own, they give the same segment.
  const ParallelRunner backwards = [](size_t count, const std::function<void(size_t)>& task) {
    for (size_t i = count; i-- > 0;) task(i);
  };
  const ParallelRunner threads = [](size_t count, const std::function<void(size_t)>& task) {
    std::vector<std::thread> running;
    for (size_t i = 0; i < count; ++i) running.emplace_back(task, i);
    for (std::thread& thread : running) thread.join();
  };
  // One workspace for every run: its parsers and caches serve segments of
  // every effort, on any thread, one after another and at once.
  SegmentWorkspace workspace;
  size_t most_blocks = 0;
  for (int effort = 1; effort <= 7; ++effort) {
    SegmentResult result;
    CompressSegment(data.data(), begin, end, ParamsForEffort(effort), nullptr, workspace, &result);
    ASSERT_FALSE(result.blocks.empty());
    most_blocks = std::max(most_blocks, result.blocks.size());
    size_t pos = begin, symbol = 0;
    for (const Block& block : result.blocks) {
      EXPECT_EQ(block.byte_begin, pos);
      EXPECT_EQ(block.symbol_begin, symbol);
      EXPECT_LT(block.byte_begin, block.byte_end);
      pos = Replay(data, pos, std::span(result.symbols).subspan(block.symbol_begin, block.symbol_end - block.symbol_begin));
      EXPECT_EQ(pos, block.byte_end) << "effort " << effort;
      symbol = block.symbol_end;
    }
    EXPECT_EQ(pos, end);
    EXPECT_EQ(symbol, result.symbols.size());
    for (const ParallelRunner* runner : {&backwards, &threads}) {
      SegmentResult again;
      CompressSegment(data.data(), begin, end, ParamsForEffort(effort), *runner, workspace, &again);
      ASSERT_EQ(again.symbols.size(), result.symbols.size()) << "effort " << effort;
      for (size_t i = 0; i < result.symbols.size(); ++i) {
        ASSERT_EQ(again.symbols[i].value, result.symbols[i].value) << "effort " << effort << ", symbol " << i;
        ASSERT_EQ(again.symbols[i].distance, result.symbols[i].distance) << "effort " << effort << ", symbol " << i;
      }
      ASSERT_EQ(again.blocks.size(), result.blocks.size()) << "effort " << effort;
      for (size_t b = 0; b < result.blocks.size(); ++b) {
        EXPECT_EQ(again.blocks[b].symbol_end, result.blocks[b].symbol_end) << "effort " << effort;
      }
    }
  }
  EXPECT_GT(most_blocks, 2u) << "no segment here has blocks to refine in parallel";
}

// The segment's size as block ends are chosen: each block on its own code.
uint64_t EstimatedBits(const SegmentResult& result) {
  uint64_t bits = 0;
  for (const Block& block : result.blocks) {
    const auto symbols = std::span(result.symbols).subspan(block.symbol_begin, block.symbol_end - block.symbol_begin);
    bits += EstimateBlockBits(CountSymbols(symbols), block.byte_end - block.byte_begin);
  }
  return bits;
}

TEST(CompressSegment, SplitsTheRefinedParseAgainOnlyWhileThatGains) {
  const std::vector<uint8_t> data = PatchworkData();
  SegmentWorkspace workspace;
  // Blocks seeded from the lazy parse's ends and from the whole segment's
  // refined parse alike.
  for (const bool split_refined : {false, true}) {
    EffortParams params = ParamsForEffort(5);
    params.split_refined = split_refined;
    std::vector<uint64_t> bits;
    for (int resplits = 0; resplits <= 2; ++resplits) {
      params.resplits = resplits;
      SegmentResult result;
      CompressSegment(data.data(), 0, data.size(), params, nullptr, workspace, &result);
      bits.push_back(EstimatedBits(result));
    }
    EXPECT_LT(bits[1], bits[0]) << "split refined " << split_refined << ": the split again gained nothing here";
    EXPECT_LE(bits[2], bits[1]) << "split refined " << split_refined;
  }
}

}  // namespace
}  // namespace repng::deflate
