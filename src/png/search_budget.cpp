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

int ZopfliRounds(size_t bytes_per_worker, size_t minimum, int maximum) {
  const size_t most = static_cast<size_t>(std::max(maximum, 1));
  return static_cast<int>(
      std::clamp<size_t>(kZopfliWork / std::max<size_t>(bytes_per_worker, 1), std::min(minimum, most), most));
}

void ChooseZopfli(size_t filtered_bytes, double compressed_fraction, SearchBudget* budget) {
  ZopfliSettings& zopfli = budget->zopfli;
  if (filtered_bytes <= kZopfliMinimum) return;
  if (filtered_bytes <= kTiny) {
    // The block splitter costs more than the picture here (tens of
    // milliseconds on a few kilobytes). Only the best finalist after
    // libdeflate gets zopfli: a second one, even within 2 percent of it,
    // won 25 bytes over the whole benchmark corpus for a third more
    // processor time on small pictures.
    budget->zopfli_best = true;
    zopfli.split_blocks = false;
    zopfli.pieces = 1;
    return;
  }
  // Beyond kMedium a round takes seconds, and on gradients minutes. Up to
  // kLarge even photographic wallpapers may gain the half percent that
  // zopfli's rounds find; beyond, their time outgrows it.
  if (filtered_bytes > kMedium && compressed_fraction > kRepetitiveFraction) {
    if (compressed_fraction > kDrawnFraction && filtered_bytes > kLarge) return;
    budget->zopfli_probe = true;
  }
  // One finalist in pieces shared by the workers. Beyond a few tens of
  // kilobytes zopfli seldom beats libdeflate's strongest level without its
  // block splitter, and with it often does even at a single round.
  budget->zopfli_best = true;
  zopfli.pieces = 2;
  zopfli.split_blocks = true;
  if (filtered_bytes > kMedium) zopfli.max_blocks = 0;
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
    ChooseZopfli(filtered_bytes, compressed_fraction, &budget);
    return budget;
  }
  const bool grainy = compressed_fraction > kGrainyFraction;
  if (grainy && filtered_bytes <= kLarge) {
    budget.strategies = {S::kEntropy, S::kBigrams, S::kBigramEntropy};
    budget.screening_level = kQuickScreeningLevel;
    budget.final_level = filtered_bytes <= kMedium ? kStrongestLevel : kGrainyLargeFinalLevel;
    // No zopfli: without a sample to probe it would run on every grainy
    // picture, photographs included, whose PNG seldom beats their JPEG,
    // for 10 to 60 s each and half a percent at best.
    return budget;
  }
  if (filtered_bytes > kHuge) {
    budget.strategies = {S::kBigrams};
    budget.screening_level = kQuickScreeningLevel;
    budget.final_level = kHugeFinalLevel;
    return budget;
  }
  // Every strategy at the final level, on sampled rows: lower levels rank
  // the strategies of large drawings differently from the final pass.
  budget.strategies = OtherStrategies();
  budget.screening_level = kStrongestLevel;
  budget.final_level = kStrongestLevel;
  if (filtered_bytes <= kLarge) {
    budget.screening_sample = kSample;
    budget.finalists = kMediumFinalists;
  } else {
    budget.screening_sample = kLargeSample;
    budget.finalists = 1;
  }
  ChooseZopfli(filtered_bytes, compressed_fraction, &budget);
  return budget;
}

ZopfliSettings ZopfliSettingsFor(const SearchBudget& budget, size_t filtered_bytes) {
  ZopfliSettings settings = budget.zopfli;
  const size_t max_piece = filtered_bytes <= kMedium ? kZopfliMaxPiece : kLargeZopfliMaxPiece;
  settings.pieces = std::max(settings.pieces, (filtered_bytes + max_piece - 1) / max_piece);
  size_t minimum_rounds = 1;
  if (settings.split_blocks) minimum_rounds = filtered_bytes <= kMedium ? kSplitMinimumRounds : kLargeZopfliRounds;
  settings.iterations = ZopfliRounds(filtered_bytes / std::max<size_t>(settings.pieces, 1), minimum_rounds,
                                     budget.zopfli_max_rounds);
  return settings;
}

}  // namespace repng::png
