#include "deflate/block_splitter.h"

#include <algorithm>

namespace repng::deflate {
namespace {

// Split points are probed on a grid of at most this many cells per range,
// each at least kMinCell symbols: finer for small blocks than for large.
constexpr size_t kMaxCells = 1024;
constexpr size_t kMinCell = 8;
// Below this many candidates every one is tried; above, this many evenly
// spaced ones narrow the search to the best one's neighbourhood. Sizes are
// not one smooth valley over the split points: nine probes walked past the
// best ends of a screenshot's text and its margins (0.8 percent more bytes
// on one page), where the parse costs many times what these probes cost.
constexpr size_t kExhaustive = 48;
constexpr size_t kProbes = 33;
// Symbol counts are kept at every this many cells: their copies cost more
// than counting the cells between again for the few cells probed.
constexpr size_t kCheckpointCells = 16;

}  // namespace

std::vector<size_t> BlockSplitter::Split(std::span<const Symbol> symbols) {
  std::vector<size_t> splits;
  std::vector<Range> pending = {Range{0, symbols.size()}};
  while (!pending.empty()) {
    const Range range = pending.back();
    pending.pop_back();
    const size_t split = BestSplit(symbols, range);
    if (split == range.begin) continue;
    splits.push_back(split);
    pending.push_back(Range{range.begin, split});
    pending.push_back(Range{split, range.end});
  }
  std::sort(splits.begin(), splits.end());
  return splits;
}

size_t BlockSplitter::BestSplit(std::span<const Symbol> symbols, Range range) {
  const size_t n = range.end - range.begin;
  if (n < 2 * kMinCell) return range.begin;
  const size_t cell = std::max(kMinCell, (n + kMaxCells - 1) / kMaxCells);
  const size_t cells = (n + cell - 1) / cell;
  // Counts at every kCheckpointCells-th cell only: a probe adds the cells
  // since the last checkpoint, and most cells are never probed.
  const size_t stride = kCheckpointCells * cell;  // symbols from one checkpoint to the next
  const size_t checkpoints = cells / kCheckpointCells + 1;
  checkpoint_counts_.resize(checkpoints);
  checkpoint_bytes_.resize(checkpoints);
  Histogram all;
  size_t all_bytes = 0;
  for (size_t k = 0; k < checkpoints; ++k) {
    checkpoint_counts_[k] = all;
    checkpoint_bytes_[k] = all_bytes;
    const size_t stop = std::min(range.end, range.begin + (k + 1) * stride);
    for (size_t i = range.begin + k * stride; i < stop; ++i) {
      all.Add(symbols[i]);
      all_bytes += symbols[i].Length();
    }
  }
  // The counts and bytes of the cells before cell c.
  auto prefix = [&](size_t c, Histogram* counts) {
    const size_t checkpoint = c / kCheckpointCells;
    *counts = checkpoint_counts_[checkpoint];
    size_t bytes = checkpoint_bytes_[checkpoint];
    for (size_t i = range.begin + checkpoint * stride; i < range.begin + c * cell; ++i) {
      counts->Add(symbols[i]);
      bytes += symbols[i].Length();
    }
    return bytes;
  };
  const uint64_t whole = EstimateBlockBits(all, all_bytes);
  // Each narrowing meets the last one's best probe and its neighbours again.
  split_bits_.assign(cells, UINT64_MAX);
  auto split_bits = [&](size_t c) {
    if (split_bits_[c] != UINT64_MAX) return split_bits_[c];
    Histogram left;
    const size_t left_bytes = prefix(c, &left);
    Histogram right = all;
    right.Subtract(left);
    split_bits_[c] = EstimateBlockBits(left, left_bytes) + EstimateBlockBits(right, all_bytes - left_bytes);
    return split_bits_[c];
  };

  size_t low = 1, high = cells - 1;  // candidates, inclusive
  while (high - low + 1 > kExhaustive) {
    size_t best_probe = 0;
    uint64_t best_bits = UINT64_MAX;
    std::array<size_t, kProbes> probes;
    for (size_t p = 0; p < kProbes; ++p) {
      probes[p] = low + (high - low) * p / (kProbes - 1);
      const uint64_t bits = split_bits(probes[p]);
      if (bits < best_bits) {
        best_bits = bits;
        best_probe = p;
      }
    }
    const size_t new_low = probes[best_probe == 0 ? 0 : best_probe - 1];
    const size_t new_high = probes[best_probe + 1 == kProbes ? kProbes - 1 : best_probe + 1];
    low = new_low;
    high = new_high;
  }
  size_t best_cell = 0;
  uint64_t best_bits = whole;
  for (size_t c = low; c <= high; ++c) {
    const uint64_t bits = split_bits(c);
    if (bits < best_bits) {
      best_bits = bits;
      best_cell = c;
    }
  }
  return best_cell == 0 ? range.begin : range.begin + best_cell * cell;
}

}  // namespace repng::deflate
