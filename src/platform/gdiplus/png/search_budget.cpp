#include "platform/gdiplus/png/search_budget.h"

namespace repng::png {
namespace {

using S = FilterStrategy;

// A picture whose filtered data a quick deflate cannot halve is photographic
// or noisy: filters and palettes move it by a percent or two, so it gets a
// short search.
constexpr double kNoisyFraction = 0.5;

// Sizes of filtered data, which is what every trial's time grows with.
constexpr size_t kSmall = 256 * 1024;
constexpr size_t kMedium = 2 * 1024 * 1024;
constexpr size_t kLarge = 16 * 1024 * 1024;

// Zopfli takes about a second per few hundred kilobytes of input at its
// default 15 rounds; it is given only what it can finish quickly.
constexpr size_t kZopfliFullRounds = 64 * 1024;
constexpr size_t kZopfliFewRounds = 512 * 1024;

std::vector<FilterStrategy> AllStrategies() {
  return {S::kNone, S::kSub, S::kUp, S::kAverage, S::kPaeth,
          S::kMinSum, S::kEntropy, S::kBigrams, S::kBigramEntropy, S::kBruteForce};
}

}  // namespace

SearchBudget ChooseSearchBudget(size_t filtered_bytes, double compressed_fraction) {
  SearchBudget budget;
  const bool noisy = compressed_fraction > kNoisyFraction;
  if (noisy && filtered_bytes > kSmall) {
    budget.strategies = {S::kMinSum, S::kBigramEntropy};
    budget.screening_level = 2;
    budget.finalists = 1;
    return budget;
  }
  if (filtered_bytes <= kSmall) {
    budget.strategies = AllStrategies();
    budget.screening_level = 8;
    budget.finalists = 3;
    budget.zopfli_iterations = filtered_bytes <= kZopfliFullRounds ? 15 : 5;
  } else if (filtered_bytes <= kMedium) {
    budget.strategies = AllStrategies();
    budget.screening_level = 6;
    budget.finalists = 2;
    budget.zopfli_iterations = filtered_bytes <= kZopfliFewRounds ? 2 : 0;
  } else if (filtered_bytes <= kLarge) {
    budget.strategies = {S::kNone, S::kUp, S::kPaeth, S::kMinSum, S::kEntropy, S::kBigrams,
                         S::kBigramEntropy};
    budget.screening_level = 4;
    budget.finalists = 1;
  } else {
    budget.strategies = {S::kNone, S::kMinSum, S::kBigramEntropy};
    budget.screening_level = 2;
    budget.finalists = 1;
  }
  return budget;
}

}  // namespace repng::png
