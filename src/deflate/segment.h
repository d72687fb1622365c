// One segment of the input, parsed on its own: matches found once, a lazy
// parse split into blocks by exact size, each block's parse refined round by
// round on its own, and the refined parse split again where that gains.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "deflate/deflate.h"
#include "deflate/lending_pool.h"
#include "deflate/match_finder.h"
#include "deflate/parser.h"
#include "deflate/symbols.h"

namespace repng::deflate {

struct EffortParams {
  int max_depth;     // match finder tree nodes per position
  int nice_length;   // match length that ends the search
  int max_rounds;    // rounds of the shortest-path parse per block; 0: lazy only
  int patience;      // rounds without gain before a block stops
  // The same for a block seeded with a refined parse, which has settled:
  // it gains in its first round or hardly at all.
  int refined_patience;
  // A round that saves less than the block's bits >> min_gain_shift counts
  // as no gain (0: any saving counts). Late rounds on large blocks save a
  // few bytes each at the full price of a round.
  int min_gain_shift;
  // Split on the whole segment's refined parse rather than on the lazy one:
  // better block ends, after a chain of rounds that no other core can share.
  bool split_refined;
  bool final_lengths;  // one last round priced on the real code lengths
  int resplits;        // further splits of the refined blocks while they gain
};

EffortParams ParamsForEffort(int effort);

struct Block {
  size_t symbol_begin;
  size_t symbol_end;
  size_t byte_begin;  // in the whole input
  size_t byte_end;
};

struct SegmentResult {
  std::vector<Symbol> symbols;
  std::vector<Block> blocks;
};

// What the segments of one compression borrow for their working memory.
struct SegmentWorkspace {
  LendingPool<MatchCache> caches;
  LendingPool<OptimalParser> parsers;
};

// input[begin, end) parsed with matches reaching back into the 32 KiB
// before begin. The segment's blocks, once split, are refined through the
// runner when there is one. Throws std::bad_alloc when memory runs out, and
// what the runner throws.
void CompressSegment(const uint8_t* input, size_t begin, size_t end, const EffortParams& params,
                     const ParallelRunner& runner, SegmentWorkspace& workspace, SegmentResult* result);

}  // namespace repng::deflate
