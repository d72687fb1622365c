#include "png/search_budget.h"

#include <algorithm>

#include "png/search_settings.h"

namespace repng::png {
namespace {

using S = FilterStrategy;
using namespace settings;

// None and min-sum together pick the right reduction nearly always (none
// suits palettes and low bit depths, min-sum the rest), so they rank the
// reductions before the costlier strategies run.
std::vector<FilterStrategy> RankingStrategies() { return {S::kNone, S::kMinSum}; }

std::vector<FilterStrategy> OtherStrategies() {
  return {S::kSub,     S::kUp,      S::kAverage,       S::kPaeth,
          S::kEntropy, S::kBigrams, S::kBigramEntropy, S::kBruteForce};
}

// The optimal pass gains most where the data repeats (icons, drawings,
// screenshots): 0.5 to 5 percent over libdeflate's strongest level. On a
// large photograph (a 5120 x 2880 wallpaper) it gained 0.3 percent for 1.7
// times the strong level's processor time, slower on one core.
bool OptimalPassPays(size_t filtered_bytes, double compressed_fraction) {
  return filtered_bytes <= kLarge || compressed_fraction <= kDrawnFraction;
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
    budget.screening_level = kQuickScreeningLevel;
    budget.final_level = filtered_bytes <= kMedium ? kStrongestLevel : kNoisyFinalLevel;
    return budget;
  }
  if (filtered_bytes <= kSmall) {
    budget.reductions_kept = kSmallReductionsKept;
    budget.strategies = OtherStrategies();
    budget.screening_level = kSmallScreeningLevel;
    budget.finalists = kSmallFinalists;
    budget.final_level = kRankingLevel;
    budget.last_pass = LastPass::kOptimal;
    return budget;
  }
  const bool grainy = compressed_fraction > kGrainyFraction;
  if (grainy && filtered_bytes <= kLarge) {
    budget.strategies = {S::kEntropy, S::kBigrams, S::kBigramEntropy};
    budget.screening_level = kQuickScreeningLevel;
    budget.final_level = kStrongestLevel;
    // No optimal pass: on photographs, whose PNG seldom beats their JPEG,
    // it gains half a percent at best.
    return budget;
  }
  if (filtered_bytes > kHuge) {
    budget.strategies = {S::kBigrams};
    budget.screening_level = kQuickScreeningLevel;
    budget.final_level = kHugeFinalLevel;
    return budget;
  }
  // Every strategy, on sampled rows; beyond kLarge at the final level, since
  // lower levels rank the strategies of large drawings differently from the
  // final pass.
  budget.strategies = OtherStrategies();
  if (filtered_bytes <= kLarge) {
    budget.screening_level = kDrawnScreeningLevel;
    budget.screening_sample = kSample;
    budget.finalists = kMediumFinalists;
  } else {
    budget.screening_level = kStrongestLevel;
    budget.screening_sample = kLargeSample;
    budget.finalists = 1;
  }
  // The quick pass replaces the strong pass, whose level it leaves unused.
  budget.last_pass = OptimalPassPays(filtered_bytes, compressed_fraction) ? LastPass::kOptimal : LastPass::kQuick;
  if (budget.last_pass == LastPass::kQuick) {
    budget.final_level = kStrongestLevel;
  } else {
    budget.final_level = filtered_bytes <= kMedium ? kRankingLevel : kLargeRankingLevel;
  }
  return budget;
}

}  // namespace repng::png
