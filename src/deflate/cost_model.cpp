#include "deflate/cost_model.h"

#include <bit>

namespace repng::deflate {

uint32_t ScaledLog2(uint64_t n) {
  // Integer part from the top bit; the fraction bit by bit, squaring the
  // mantissa (kept in Q30) and halving it whenever it reaches 2.
  const int top = static_cast<int>(std::bit_width(n)) - 1;
  uint64_t mantissa = top >= 30 ? n >> (top - 30) : n << (30 - top);
  constexpr int kFractionBits = 12;
  uint32_t fraction = 0;
  for (int b = 0; b < kFractionBits; ++b) {
    mantissa = (mantissa * mantissa) >> 30;
    fraction <<= 1;
    if (mantissa >= (uint64_t{2} << 30)) {
      mantissa >>= 1;
      fraction |= 1;
    }
  }
  const uint64_t fixed = (static_cast<uint64_t>(top) << kFractionBits) | fraction;
  return static_cast<uint32_t>((fixed * kCostScale + (uint64_t{1} << (kFractionBits - 1))) >> kFractionBits);
}

CostModel CostModel::FromCounts(const Histogram& counts) {
  uint64_t litlen_total = 1;  // the end of block
  for (uint32_t count : counts.litlen) litlen_total += count;
  uint64_t dist_total = 0;
  for (uint32_t count : counts.dist) dist_total += count;
  const uint32_t litlen_log = ScaledLog2(litlen_total);
  const uint32_t dist_log = ScaledLog2(dist_total == 0 ? 1 : dist_total);
  auto cost = [](uint32_t total_log, uint32_t count) {
    return count <= 1 ? total_log : total_log - ScaledLog2(count);
  };
  CostModel model;
  for (int s = 0; s < 256; ++s) model.literal[s] = cost(litlen_log, counts.litlen[s]);
  std::array<uint32_t, 29> slot_cost;
  for (int slot = 0; slot < 29; ++slot) {
    slot_cost[slot] = cost(litlen_log, counts.litlen[257 + slot]) + kLengthExtra[slot] * kCostScale;
  }
  for (int match = kMinMatch; match <= kMaxMatch; ++match) model.length[match] = slot_cost[LengthSlot(match)];
  for (int s = 0; s < kDistSymbols; ++s) model.dist[s] = cost(dist_log, counts.dist[s]) + kDistExtra[s] * kCostScale;
  return model;
}

CostModel CostModel::FromLengths(const uint8_t* litlen_lengths, const uint8_t* dist_lengths) {
  auto bits = [](uint8_t code_length) { return (code_length == 0 ? kMaxCodeLength : code_length) * kCostScale; };
  CostModel model;
  for (int s = 0; s < 256; ++s) model.literal[s] = bits(litlen_lengths[s]);
  for (int match = kMinMatch; match <= kMaxMatch; ++match) {
    const int slot = LengthSlot(match);
    model.length[match] = bits(litlen_lengths[257 + slot]) + kLengthExtra[slot] * kCostScale;
  }
  for (int s = 0; s < kDistSymbols; ++s) model.dist[s] = bits(dist_lengths[s]) + kDistExtra[s] * kCostScale;
  return model;
}

}  // namespace repng::deflate
