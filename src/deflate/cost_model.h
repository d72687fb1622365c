// What each symbol is expected to cost, in sixteenths of a bit, for the
// shortest-path parse. Integers only, so no compiler or platform can change
// a decision.
#pragma once

#include <array>
#include <cstdint>

#include "deflate/block_code.h"

namespace repng::deflate {

inline constexpr uint32_t kCostScale = 16;

// log2(n) * kCostScale, rounded; n >= 1.
uint32_t ScaledLog2(uint64_t n);

struct CostModel {
  std::array<uint32_t, 256> literal{};
  std::array<uint32_t, kMaxMatch + 1> length{};   // symbol and extra bits
  std::array<uint32_t, kDistSymbols> dist{};      // symbol and extra bits

  uint32_t Distance(uint32_t distance) const { return dist[DistSlot(distance)]; }

  // -log2 of each symbol's share of the counts (an unseen symbol as if seen
  // once), the end of block counted once.
  static CostModel FromCounts(const Histogram& counts);
  // The bits of a code's lengths; a symbol without a code costs as if it
  // had the longest one.
  static CostModel FromLengths(const uint8_t* litlen_lengths, const uint8_t* dist_lengths);
};

}  // namespace repng::deflate
