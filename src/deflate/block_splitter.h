// Where blocks should end: each split is kept only when the two blocks'
// exact encoded sizes, headers included, sum below the one block's.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "deflate/block_code.h"
#include "deflate/symbols.h"

namespace repng::deflate {

class BlockSplitter {
 public:
  // The symbol indices, increasing, strictly inside (0, symbols.size()),
  // where new blocks start. No limit on their number.
  std::vector<size_t> Split(std::span<const Symbol> symbols);

 private:
  struct Range {
    size_t begin;
    size_t end;
  };
  // The best split of range, or range.begin when no split pays.
  size_t BestSplit(std::span<const Symbol> symbols, Range range);

  std::vector<Histogram> checkpoint_counts_;  // of the symbols before every 16th cell
  std::vector<size_t> checkpoint_bytes_;
  std::vector<uint64_t> split_bits_;  // per cell, once estimated
};

}  // namespace repng::deflate
