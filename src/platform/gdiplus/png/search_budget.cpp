#include "platform/gdiplus/png/search_budget.h"

#include <algorithm>

namespace repng::png {
namespace {

using S = FilterStrategy;

// A picture whose filtered data a quick deflate cannot halve is photographic
// or noisy: filters and palettes move it by a percent or two, so it gets a
// short search.
constexpr double kNoisyFraction = 0.5;

// Sizes of filtered data (the widest reduction), which every trial's time
// grows with.
constexpr size_t kTiny = 32 * 1024;
constexpr size_t kSmall = 256 * 1024;
constexpr size_t kMedium = 2 * 1024 * 1024;
constexpr size_t kLarge = 8 * 1024 * 1024;

// None and min-sum together pick the right reduction nearly always (none
// suits palettes and low bit depths, min-sum the rest), so they rank the
// reductions before the costlier strategies run.
std::vector<FilterStrategy> RankingStrategies() { return {S::kNone, S::kMinSum}; }

std::vector<FilterStrategy> OtherStrategies(bool with_brute_force) {
  std::vector<FilterStrategy> all = {S::kSub, S::kUp, S::kAverage, S::kPaeth,
                                     S::kEntropy, S::kBigrams, S::kBigramEntropy};
  if (with_brute_force) all.push_back(S::kBruteForce);
  return all;
}

// Zopfli's time grows with its input times its rounds, at roughly 2 to 3 MB
// of input-rounds a second per worker: this keeps it near a tenth of a
// second per worker.
constexpr size_t kZopfliWork = 8 * kTiny;
// Above this even one round of zopfli, which needs its block splitter on
// large pictures to beat libdeflate, takes seconds.
constexpr size_t kZopfliLimit = kSmall;

int ZopfliIterations(size_t bytes_per_worker) {
  return static_cast<int>(std::clamp<size_t>(kZopfliWork / std::max<size_t>(bytes_per_worker, 1), 1, 15));
}

void ChooseZopfli(size_t filtered_bytes, SearchBudget* budget) {
  ZopfliSettings& zopfli = budget->zopfli;
  if (filtered_bytes <= kTiny) {
    // The two best finalists, one per worker: their order after libdeflate
    // is not always zopfli's. The block splitter costs more than the
    // picture here (tens of milliseconds on a few kilobytes).
    budget->zopfli_finalists = 2;
    zopfli.iterations = ZopfliIterations(filtered_bytes);
    zopfli.split_blocks = false;
    zopfli.pieces = 1;
  } else {
    // One finalist in two pieces at once; the boundary between them does
    // most of what the block splitter would.
    budget->zopfli_finalists = 1;
    zopfli.pieces = 2;
    zopfli.iterations = ZopfliIterations(filtered_bytes / 2);
    zopfli.split_blocks = false;
  }
}

}  // namespace

SearchBudget ChooseSearchBudget(size_t filtered_bytes, double compressed_fraction) {
  SearchBudget budget;
  budget.first_strategies = RankingStrategies();
  const bool noisy = compressed_fraction > kNoisyFraction;
  if (noisy && filtered_bytes > kTiny) {
    budget.first_strategies = {S::kMinSum};
    budget.strategies = filtered_bytes <= kSmall ? std::vector<S>{S::kEntropy, S::kBigramEntropy}
                                                 : std::vector<S>{};
    budget.screening_level = 1;
    budget.final_level = filtered_bytes <= kMedium ? 12 : 9;
    return budget;
  }
  if (filtered_bytes <= kSmall) {
    budget.reductions_kept = 2;
    budget.strategies = OtherStrategies(true);
    budget.screening_level = 6;
    budget.finalists = 3;
  } else if (filtered_bytes <= kMedium) {
    budget.strategies = OtherStrategies(false);
    budget.screening_level = 3;
    budget.finalists = 2;
  } else if (filtered_bytes <= kLarge) {
    budget.strategies = {S::kEntropy, S::kBigrams, S::kBigramEntropy};
    budget.screening_level = 1;
    budget.final_level = 10;
  } else {
    budget.strategies = {S::kBigrams};
    budget.screening_level = 1;
    budget.final_level = 9;
  }
  if (filtered_bytes <= kZopfliLimit) ChooseZopfli(filtered_bytes, &budget);
  return budget;
}

}  // namespace repng::png
