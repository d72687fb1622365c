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

}  // namespace

uint64_t EstimateSymbolsBits(std::span<const Symbol> symbols) {
  size_t bytes = 0;
  for (const Symbol symbol : symbols) bytes += symbol.Length();
  return EstimateBlockBits(CountSymbols(symbols), bytes);
}

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
  prefix_counts_.resize(cells + 1);
  prefix_bytes_.resize(cells + 1);
  prefix_counts_[0] = Histogram{};
  prefix_bytes_[0] = 0;
  for (size_t c = 0; c < cells; ++c) {
    Histogram counts = prefix_counts_[c];
    size_t bytes = prefix_bytes_[c];
    const size_t stop = std::min(range.end, range.begin + (c + 1) * cell);
    for (size_t i = range.begin + c * cell; i < stop; ++i) {
      counts.Add(symbols[i]);
      bytes += symbols[i].Length();
    }
    prefix_counts_[c + 1] = counts;
    prefix_bytes_[c + 1] = bytes;
  }
  const Histogram& all = prefix_counts_[cells];
  const uint64_t whole = EstimateBlockBits(all, prefix_bytes_[cells]);
  // Each narrowing meets the last one's best probe and its neighbours again.
  split_bits_.assign(cells, UINT64_MAX);
  auto split_bits = [&](size_t c) {
    if (split_bits_[c] != UINT64_MAX) return split_bits_[c];
    Histogram right = all;
    right.Subtract(prefix_counts_[c]);
    split_bits_[c] = EstimateBlockBits(prefix_counts_[c], prefix_bytes_[c]) +
                     EstimateBlockBits(right, prefix_bytes_[cells] - prefix_bytes_[c]);
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
