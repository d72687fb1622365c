#include "platform/gdiplus/png/search_budget.h"

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
    // Zopfli's time grows with its input times its rounds; this keeps it near
    // a few tenths of a second.
    budget.zopfli_iterations = filtered_bytes <= kTiny ? 15 : filtered_bytes <= kSmall / 2 ? 3 : 1;
    budget.zopfli_finalists = filtered_bytes <= kTiny ? 2 : 1;
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
  return budget;
}

}  // namespace repng::png
