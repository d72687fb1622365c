#include "deflate/segment.h"

#include <algorithm>

#include "deflate/block_code.h"
#include "deflate/block_splitter.h"
#include "deflate/cost_model.h"
#include "deflate/match_finder.h"
#include "deflate/parser.h"

namespace repng::deflate {
namespace {

constexpr EffortParams kEfforts[] = {
    // depth, nice, rounds, patience, second split, final lengths
    {8, 32, 0, 0, false, false},       // 1
    {24, 64, 1, 0, false, false},      // 2
    {48, 128, 3, 0, false, true},      // 3
    {96, 258, 6, 1, true, true},       // 4
    {256, 258, 10, 1, true, true},     // 5
    {1024, 258, 15, 2, true, true},    // 6
    {4096, 258, 30, 3, true, true},    // 7
};

size_t ByteCount(std::span<const Symbol> symbols) {
  size_t bytes = 0;
  for (const Symbol symbol : symbols) bytes += symbol.Length();
  return bytes;
}

// Symbols of one block and the bits they take as one.
struct BlockParse {
  std::vector<Symbol> symbols;
  uint64_t bits = 0;
};

class SegmentParser {
 public:
  SegmentParser(const uint8_t* data, size_t begin, const MatchCache* cache, const EffortParams& params)
      : data_(data), begin_(begin), cache_(cache), params_(params) {}

  // Refines the parse of data[first, first + bytes) that starts as seed.
  BlockParse Refine(size_t first, std::span<const Symbol> seed) {
    const size_t bytes = ByteCount(seed);
    BlockParse best{std::vector<Symbol>(seed.begin(), seed.end()), EstimateSymbolsBits(seed)};
    const ParseInput input{data_, cache_, begin_, first, first + bytes};
    if (params_.max_rounds == 0) return best;
    // Two starts: the seed's statistics, and the same with every byte
    // counted as a literal, which does not overprice literals where the
    // seed took poor matches (noisy data).
    const Histogram seed_counts = CountSymbols(seed);
    Histogram literal_start = seed_counts;
    std::fill(literal_start.litlen.begin(), literal_start.litlen.begin() + 256, 0);
    for (size_t i = first; i < first + bytes; ++i) ++literal_start.litlen[data_[i]];
    Histogram last = seed_counts;
    uint64_t last_bits = 0;
    RunRound(input, seed_counts, bytes, &best, &last, &last_bits);
    Histogram other;
    uint64_t other_bits = 0;
    RunRound(input, literal_start, bytes, &best, &other, &other_bits);
    if (other_bits < last_bits) last = other;
    Histogram stats = last;
    stats.Add(last);
    int misses = 0;
    for (int round = 1; round < params_.max_rounds; ++round) {
      Histogram counts;
      uint64_t bits = 0;
      if (RunRound(input, stats, bytes, &best, &counts, &bits)) {
        misses = 0;
      } else if (++misses > params_.patience) {
        break;
      }
      // Half of the round before rides along, which damps oscillation.
      stats = counts;
      stats.Add(counts);
      stats.Add(last);
      last = counts;
    }
    if (params_.final_lengths && params_.max_rounds > 0) {
      DynamicCode code;
      BuildDynamicCode(CountSymbols(best.symbols), HeaderSearch::kQuick, &code);
      candidate_.clear();
      parser_.Parse(input, CostModel::FromLengths(code.litlen_lengths.data(), code.dist_lengths.data()), &candidate_);
      const uint64_t bits = EstimateSymbolsBits(candidate_);
      if (bits < best.bits) {
        best.symbols = candidate_;
        best.bits = bits;
      }
    }
    return best;
  }

 private:
  // One shortest-path parse under stats' costs; keeps it in best when
  // smaller. Returns whether it was.
  bool RunRound(const ParseInput& input, const Histogram& stats, size_t bytes, BlockParse* best, Histogram* counts,
                uint64_t* bits) {
    candidate_.clear();
    parser_.Parse(input, CostModel::FromCounts(stats), &candidate_);
    *counts = CountSymbols(candidate_);
    *bits = EstimateBlockBits(*counts, bytes);
    if (*bits >= best->bits) return false;
    best->symbols = candidate_;
    best->bits = *bits;
    return true;
  }

  const uint8_t* data_;
  size_t begin_;
  const MatchCache* cache_;
  EffortParams params_;
  OptimalParser parser_;
  std::vector<Symbol> candidate_;
};

// Cuts symbols at splits into blocks of result, starting at input byte first.
void SetBlocks(std::span<const size_t> splits, size_t first, SegmentResult* result) {
  result->blocks.clear();
  size_t symbol = 0;
  size_t byte = first;
  for (size_t b = 0; b <= splits.size(); ++b) {
    const size_t end = b < splits.size() ? splits[b] : result->symbols.size();
    const size_t bytes = ByteCount(std::span(result->symbols).subspan(symbol, end - symbol));
    result->blocks.push_back(Block{symbol, end, byte, byte + bytes});
    symbol = end;
    byte += bytes;
  }
}

uint64_t BlocksBits(const SegmentResult& result) {
  uint64_t bits = 0;
  for (const Block& block : result.blocks) {
    bits += EstimateSymbolsBits(std::span(result.symbols).subspan(block.symbol_begin, block.symbol_end - block.symbol_begin));
  }
  return bits;
}

}  // namespace

EffortParams ParamsForEffort(int effort) {
  return kEfforts[std::clamp(effort, 1, static_cast<int>(std::size(kEfforts))) - 1];
}

void CompressSegment(const uint8_t* input, size_t begin, size_t end, const EffortParams& params,
                     SegmentResult* result) {
  const size_t window_start = begin > kWindowSize ? begin - kWindowSize : 0;
  const uint8_t* data = input + window_start;
  const size_t first = begin - window_start;
  const size_t last = end - window_start;
  MatchCache cache;
  cache.Build(data, first, last, MatchSearch{params.max_depth, params.nice_length});

  std::vector<Symbol> lazy;
  LazyParse(ParseInput{data, &cache, first, first, last}, &lazy);
  BlockSplitter splitter;
  const std::vector<size_t> lazy_splits = splitter.Split(lazy);
  if (params.max_rounds == 0) {
    result->symbols = std::move(lazy);
    SetBlocks(lazy_splits, begin, result);
    return;
  }

  SegmentParser parser(data, first, &cache, params);
  result->symbols.clear();
  std::vector<size_t> splits;
  size_t symbol = 0;
  size_t byte = first;
  for (size_t b = 0; b <= lazy_splits.size(); ++b) {
    const size_t stop = b < lazy_splits.size() ? lazy_splits[b] : lazy.size();
    const std::span<const Symbol> seed = std::span(lazy).subspan(symbol, stop - symbol);
    BlockParse block = parser.Refine(byte, seed);
    if (b > 0) splits.push_back(result->symbols.size());
    result->symbols.insert(result->symbols.end(), block.symbols.begin(), block.symbols.end());
    byte += ByteCount(seed);
    symbol = stop;
  }
  SetBlocks(splits, begin, result);
  if (!params.second_split) return;

  SegmentResult resplit;
  resplit.symbols = result->symbols;
  SetBlocks(splitter.Split(resplit.symbols), begin, &resplit);
  if (BlocksBits(resplit) >= BlocksBits(*result)) return;
  // The new blocks' own statistics may find a better parse still.
  SegmentResult refined;
  std::vector<size_t> refined_splits;
  for (const Block& block : resplit.blocks) {
    const std::span<const Symbol> seed =
        std::span(resplit.symbols).subspan(block.symbol_begin, block.symbol_end - block.symbol_begin);
    BlockParse parsed = parser.Refine(block.byte_begin - window_start, seed);
    if (!refined.symbols.empty()) refined_splits.push_back(refined.symbols.size());
    refined.symbols.insert(refined.symbols.end(), parsed.symbols.begin(), parsed.symbols.end());
  }
  SetBlocks(refined_splits, begin, &refined);
  *result = std::move(refined);
}

}  // namespace repng::deflate
