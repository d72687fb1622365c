#include "deflate/segment.h"

#include <algorithm>
#include <functional>

#include "deflate/block_code.h"
#include "deflate/block_splitter.h"
#include "deflate/cost_model.h"
#include "deflate/match_finder.h"
#include "deflate/parser.h"
#include "deflate/run_tasks.h"

namespace repng::deflate {
namespace {

constexpr EffortParams kEfforts[] = {
    // depth, nice, rounds, patience, refined patience, least gain, split refined, final lengths, resplits
    {8, 32, 0, 0, 0, 0, false, false, 0},       // 1
    {24, 64, 1, 0, 0, 0, false, false, 0},      // 2
    {48, 128, 3, 0, 0, 7, false, true, 0},      // 3
    {96, 258, 6, 1, 1, 7, false, true, 0},      // 4
    {1024, 258, 10, 0, 0, 8, false, true, 0},   // 5
    // A second chance for the resplit's blocks took 6 percent of the time
    // on tiff's data for 35 bytes in 766 KB.
    {4096, 258, 15, 1, 0, 8, false, true, 1},   // 6
    {8192, 258, 30, 3, 3, 0, true, true, 2},    // 7
};

size_t ByteCount(std::span<const Symbol> symbols) {
  size_t bytes = 0;
  for (const Symbol symbol : symbols) bytes += symbol.Length();
  return bytes;
}

// What a block's size is estimated from, and the estimate.
struct BlockSize {
  Histogram counts;
  uint64_t bits = 0;
};

// Symbols of one block and the bits they take as one: a round's parse, or
// the best so far.
struct BlockParse {
  std::vector<Symbol> symbols;
  BlockSize size;
};

// What a block's parse starts from: the lazy parse, or one already refined.
enum class Seed { kLazy, kRefined };

// What every block of a segment shares.
struct SegmentContext {
  const uint8_t* data;  // from the start of the window
  size_t first;         // the segment's first byte in data
  size_t begin;         // the same byte in the whole input
  const MatchCache* cache;
  EffortParams params;
  const ParallelRunner& runner;
  LendingPool<OptimalParser>& parsers;
};

class SegmentParser {
 public:
  explicit SegmentParser(const SegmentContext& context) : context_(context) {}

  // Refines the parse of data[first, first + bytes) that starts as seed,
  // in at most max_rounds rounds.
  BlockParse Refine(size_t first, std::span<const Symbol> seed, Seed kind, int max_rounds) {
    const size_t bytes = ByteCount(seed);
    const Histogram seed_counts = CountSymbols(seed);
    BlockParse best{std::vector<Symbol>(seed.begin(), seed.end()),
                    BlockSize{seed_counts, EstimateBlockBits(seed_counts, bytes)}};
    const ParseInput input{context_.data, context_.cache, context_.first, first, first + bytes};
    if (max_rounds == 0) return best;
    Histogram last;
    if (kind == Seed::kLazy) {
      // A second start: every byte counted as a literal, which does not
      // overprice literals where the lazy parse took poor matches (noisy
      // data). Both starts are parsed at once, and offered in order.
      Histogram literal_start = seed_counts;
      std::fill(literal_start.litlen.begin(), literal_start.litlen.begin() + 256, 0);
      for (size_t i = first; i < first + bytes; ++i) ++literal_start.litlen[context_.data[i]];
      BlockParse other;
      RunTasks(context_.runner, 2, [&](size_t start) {
        if (start == 0) return ParseRound(input, seed_counts, &round_);
        ParseRound(input, literal_start, &other);
      });
      Offer(&round_, &best);
      Offer(&other, &best);
      last = other.size.bits < round_.size.bits ? other.size.counts : round_.size.counts;
    } else {
      ParseRound(input, seed_counts, &round_);
      last = round_.size.counts;
      Offer(&round_, &best);
    }
    Histogram stats = last;
    stats.Add(last);
    const int patience = kind == Seed::kRefined ? context_.params.refined_patience : context_.params.patience;
    int misses = 0;
    for (int round = 1; round < max_rounds; ++round) {
      ParseRound(input, stats, &round_);
      if (Offer(&round_, &best)) {
        misses = 0;
      } else if (++misses > patience) {
        break;
      }
      // Half of the round before rides along, which damps oscillation.
      stats = round_.size.counts;
      stats.Add(round_.size.counts);
      stats.Add(last);
      last = round_.size.counts;
    }
    if (context_.params.final_lengths && context_.params.max_rounds > 0) {
      DynamicCode code;
      BuildDynamicCode(best.size.counts, HeaderSearch::kQuick, &code);
      std::vector<Symbol>& candidate = round_.symbols;
      candidate.clear();
      context_.parsers.Borrow()->Parse(
          input, CostModel::FromLengths(code.litlen_lengths.data(), code.dist_lengths.data()), &candidate);
      const Histogram counts = CountSymbols(candidate);
      const uint64_t bits = EstimateBlockBits(counts, bytes);
      if (bits < best.size.bits) {
        best.symbols.swap(candidate);
        best.size = BlockSize{counts, bits};
      }
    }
    return best;
  }

 private:
  // One shortest-path parse under stats' costs.
  void ParseRound(const ParseInput& input, const Histogram& stats, BlockParse* round) const {
    round->symbols.clear();
    context_.parsers.Borrow()->Parse(input, CostModel::FromCounts(stats), &round->symbols);
    round->size.counts = CountSymbols(round->symbols);
    round->size.bits = EstimateBlockBits(round->size.counts, input.last - input.first);
  }

  // Keeps the round's parse in best when smaller (its own symbols are
  // left for the next round to refill). Returns whether it was, by more
  // than the least gain that counts.
  bool Offer(BlockParse* round, BlockParse* best) const {
    if (round->size.bits >= best->size.bits) return false;
    const int shift = context_.params.min_gain_shift;
    const bool significant = shift == 0 || best->size.bits - round->size.bits > (best->size.bits >> shift);
    best->symbols.swap(round->symbols);
    best->size = round->size;
    return significant;
  }

  const SegmentContext& context_;
  BlockParse round_;
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

int BlockRounds(const EffortParams& params) { return (params.max_rounds + 1) / 2; }

// Each block's parse refined on its own, seeded with the symbols it has.
// The blocks go to the runner, each with a parser of its own: a block's
// parse depends on its seed and the cache alone, so the order they run in
// changes nothing. sizes gets each block's.
void RefineBlocks(std::span<const Symbol> symbols, std::span<const size_t> splits, const SegmentContext& context,
                  Seed kind, int max_rounds, SegmentResult* result, std::vector<BlockSize>* sizes) {
  struct BlockTask {
    size_t first;  // the block's first byte, counted as the parser counts
    std::span<const Symbol> seed;
    BlockParse parse;
  };
  std::vector<BlockTask> tasks(splits.size() + 1);
  size_t symbol = 0;
  size_t byte = context.first;
  for (size_t b = 0; b < tasks.size(); ++b) {
    const size_t stop = b < splits.size() ? splits[b] : symbols.size();
    tasks[b].first = byte;
    tasks[b].seed = symbols.subspan(symbol, stop - symbol);
    byte += ByteCount(tasks[b].seed);
    symbol = stop;
  }
  RunTasks(context.runner, tasks.size(), [&](size_t b) {
    SegmentParser parser(context);
    tasks[b].parse = parser.Refine(tasks[b].first, tasks[b].seed, kind, max_rounds);
  });
  std::vector<size_t> new_splits;
  std::vector<Symbol> refined;
  sizes->clear();
  for (size_t b = 0; b < tasks.size(); ++b) {
    if (b > 0) new_splits.push_back(refined.size());
    refined.insert(refined.end(), tasks[b].parse.symbols.begin(), tasks[b].parse.symbols.end());
    std::vector<Symbol>().swap(tasks[b].parse.symbols);
    sizes->push_back(tasks[b].parse.size);
  }
  result->symbols = std::move(refined);
  SetBlocks(new_splits, context.begin, result);
}

// Joins neighbouring blocks while one code for both is smaller than two.
void MergeNeighbours(SegmentResult* result, std::vector<BlockSize>* sizes) {
  std::vector<Block>& blocks = result->blocks;
  size_t b = 0;
  while (b + 1 < blocks.size()) {
    Histogram counts = (*sizes)[b].counts;
    counts.Add((*sizes)[b + 1].counts);
    const uint64_t joined = EstimateBlockBits(counts, blocks[b + 1].byte_end - blocks[b].byte_begin);
    if (joined >= (*sizes)[b].bits + (*sizes)[b + 1].bits) {
      ++b;
      continue;
    }
    blocks[b].symbol_end = blocks[b + 1].symbol_end;
    blocks[b].byte_end = blocks[b + 1].byte_end;
    (*sizes)[b] = BlockSize{counts, joined};
    blocks.erase(blocks.begin() + static_cast<ptrdiff_t>(b + 1));
    sizes->erase(sizes->begin() + static_cast<ptrdiff_t>(b + 1));
    if (b > 0) --b;  // the larger block may now join the one before
  }
}

uint64_t SegmentBits(std::span<const BlockSize> sizes) {
  uint64_t bits = 0;
  for (const BlockSize& size : sizes) bits += size.bits;
  return bits;
}

}  // namespace

EffortParams ParamsForEffort(int effort) {
  return kEfforts[std::clamp(effort, 1, static_cast<int>(std::size(kEfforts))) - 1];
}

void CompressSegment(const uint8_t* input, size_t begin, size_t end, const EffortParams& params,
                     const ParallelRunner& runner, SegmentWorkspace& workspace, SegmentResult* result) {
  const size_t window_start = begin > kWindowSize ? begin - kWindowSize : 0;
  const uint8_t* data = input + window_start;
  const size_t first = begin - window_start;
  const size_t last = end - window_start;
  const LendingPool<MatchCache>::Lease cache = workspace.caches.Borrow();
  cache->Build(data, first, last, MatchSearch{params.max_depth, params.nice_length});

  std::vector<Symbol> lazy;
  LazyParse(ParseInput{data, &*cache, first, first, last}, &lazy);
  BlockSplitter splitter;
  if (params.max_rounds == 0) {
    const std::vector<size_t> splits = splitter.Split(lazy);
    result->symbols = std::move(lazy);
    SetBlocks(splits, begin, result);
    return;
  }

  const SegmentContext context{data, first, begin, &*cache, params, runner, workspace.parsers};
  // Blocks refined from the lazy parse's ends settle in those ends' local
  // optima. Splitting again on their refined parse frees them (resplits);
  // refining the whole segment as one block first and splitting that frees
  // them more, for a chain of rounds over the whole segment on one core.
  std::span<const Symbol> seed = lazy;
  Seed kind = Seed::kLazy;
  int rounds = params.max_rounds;
  SegmentResult whole;  // holds the seed when the whole segment is refined first
  std::vector<BlockSize> sizes;
  std::vector<size_t> splits;
  if (params.split_refined) {
    RefineBlocks(lazy, {}, context, Seed::kLazy, params.max_rounds, &whole, &sizes);
    splits = splitter.Split(whole.symbols);
    if (splits.empty()) {
      *result = std::move(whole);
      return;
    }
    // From a refined start, fewer rounds reach the blocks' own optimum.
    seed = whole.symbols;
    kind = Seed::kRefined;
    rounds = BlockRounds(params);
  } else {
    splits = splitter.Split(lazy);
  }
  RefineBlocks(seed, splits, context, kind, rounds, result, &sizes);
  MergeNeighbours(result, &sizes);
  // Refined blocks shift their best ends: split again on their parse and
  // keep the outcome while it is smaller.
  uint64_t bits = SegmentBits(sizes);
  for (int pass = 0; pass < params.resplits; ++pass) {
    const std::vector<size_t> again = splitter.Split(result->symbols);
    SegmentResult next;
    std::vector<BlockSize> next_sizes;
    RefineBlocks(result->symbols, again, context, Seed::kRefined, BlockRounds(params), &next, &next_sizes);
    MergeNeighbours(&next, &next_sizes);
    const uint64_t next_bits = SegmentBits(next_sizes);
    if (next_bits >= bits) break;
    bits = next_bits;
    *result = std::move(next);
    sizes = std::move(next_sizes);
  }
}

}  // namespace repng::deflate
