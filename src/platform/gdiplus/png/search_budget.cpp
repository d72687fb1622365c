#include "platform/gdiplus/png/search_budget.h"

#include <algorithm>

namespace repng::png {
namespace {

using S = FilterStrategy;

// A picture whose filtered data a quick deflate cannot halve is photographic
// or noisy: filters and palettes move it by a percent or two, so it gets a
// short search.
constexpr double kNoisyFraction = 0.5;
// Beyond a quarter the picture is grainy, as most photographs are even where
// sky or shadow compresses well. Their PNG almost never beats their JPEG, and
// the strong search would cost seconds on each, so large grainy pictures get
// the quick one.
constexpr double kGrainyFraction = 0.25;

// Sizes of filtered data (the widest reduction), which every trial's time
// grows with.
constexpr size_t kTiny = 32 * 1024;
constexpr size_t kSmall = 256 * 1024;
constexpr size_t kMedium = 2 * 1024 * 1024;
constexpr size_t kLarge = 8 * 1024 * 1024;
// Filtered bytes each trial of a larger picture is screened on.
constexpr size_t kSample = 256 * 1024;

// None and min-sum together pick the right reduction nearly always (none
// suits palettes and low bit depths, min-sum the rest), so they rank the
// reductions before the costlier strategies run.
std::vector<FilterStrategy> RankingStrategies() { return {S::kNone, S::kMinSum}; }

std::vector<FilterStrategy> OtherStrategies() {
  return {S::kSub,     S::kUp,      S::kAverage,       S::kPaeth,
          S::kEntropy, S::kBigrams, S::kBigramEntropy, S::kBruteForce};
}

// Zopfli's time grows with its input times its rounds, at roughly 2 to 3 MB
// of input-rounds a second per worker: this keeps it near a fifth of a
// second per worker, never below one round.
constexpr size_t kZopfliWork = 16 * kTiny;
// A picture whose quick deflate keeps at most this fraction is made of long
// repeats (flat fields, gradients drawn in steps): there zopfli's parsing
// gains most over libdeflate's (5 to 8 percent on such wallpapers) and its
// match finder runs fastest, so such pictures get it up to kLarge.
constexpr double kRepetitiveFraction = 0.02;

// With the block splitter, most of zopfli's time goes to the splitter and
// its first round; the next rounds reuse its cache of matches and cost about
// a sixth as much each, for up to another percent. Beyond kMedium even that
// sixth is seconds.
constexpr size_t kSplitMinimumRounds = 3;
// Zopfli's caches take about 30 bytes for each byte of the piece it works
// on: pieces of at most this size keep them near 60 MiB for two workers.
constexpr size_t kZopfliMaxPiece = 1024 * 1024;

int ZopfliIterations(size_t bytes_per_worker, size_t minimum) {
  return static_cast<int>(
      std::clamp<size_t>(kZopfliWork / std::max<size_t>(bytes_per_worker, 1), minimum, 15));
}

void ChooseZopfli(size_t filtered_bytes, double compressed_fraction, SearchBudget* budget) {
  ZopfliSettings& zopfli = budget->zopfli;
  if (filtered_bytes <= kTiny) {
    // The two best finalists, one per worker: their order after libdeflate
    // is not always zopfli's. The block splitter costs more than the
    // picture here (tens of milliseconds on a few kilobytes).
    budget->zopfli_finalists = 2;
    zopfli.split_blocks = false;
    zopfli.pieces = 1;
    return;
  }
  const bool repetitive = compressed_fraction <= kRepetitiveFraction;
  if (filtered_bytes > kMedium && !repetitive) return;
  // One finalist in two pieces at once. Beyond a few tens of kilobytes zopfli
  // seldom beats libdeflate's strongest level without its block splitter,
  // and with it often does even at a single round.
  budget->zopfli_finalists = 1;
  zopfli.pieces = 2;
  zopfli.split_blocks = true;
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
    budget.strategies = OtherStrategies();
    budget.screening_level = 6;
    budget.finalists = 3;
    ChooseZopfli(filtered_bytes, compressed_fraction, &budget);
    return budget;
  }
  const bool grainy = compressed_fraction > kGrainyFraction;
  if (filtered_bytes <= kLarge && !grainy) {
    // Every strategy at the final level, on sampled rows: lower levels rank
    // the strategies of large drawings differently from the final pass.
    budget.strategies = OtherStrategies();
    budget.screening_level = kStrongestDeflateLevel;
    budget.screening_sample = kSample;
    budget.finalists = 2;
    ChooseZopfli(filtered_bytes, compressed_fraction, &budget);
  } else if (filtered_bytes <= kLarge) {
    budget.strategies = {S::kEntropy, S::kBigrams, S::kBigramEntropy};
    budget.screening_level = 1;
    budget.final_level = filtered_bytes <= kMedium ? 12 : 10;
  } else {
    budget.strategies = {S::kBigrams};
    budget.screening_level = 1;
    budget.final_level = 9;
  }
  return budget;
}

ZopfliSettings ZopfliSettingsFor(const SearchBudget& budget, size_t filtered_bytes) {
  ZopfliSettings settings = budget.zopfli;
  settings.pieces = std::max(settings.pieces, (filtered_bytes + kZopfliMaxPiece - 1) / kZopfliMaxPiece);
  settings.iterations = ZopfliIterations(filtered_bytes / std::max<size_t>(settings.pieces, 1),
                                         settings.split_blocks && filtered_bytes <= kMedium ? kSplitMinimumRounds : 1);
  return settings;
}

}  // namespace repng::png
