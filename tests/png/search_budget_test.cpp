// The budget: which pictures get zopfli, large ones with or without a probe
// on sampled rows first, and how many rounds their pieces get.
#include <gtest/gtest.h>

#include "png/search_budget.h"
#include "png/search_settings.h"

namespace repng::png {
namespace {

using namespace settings;

constexpr size_t kMiB = 1024 * 1024;

// Below its least cost zopfli is not worth a call; above, every small
// picture gets it on its best finalist, noisy ones too, without the block
// splitter.
TEST(SearchBudget, SmallPicturesGetZopfliFromItsLeastCostUp) {
  for (const double fraction : {0.01, 0.3, 0.9}) {
    SCOPED_TRACE(testing::Message() << "at " << fraction);
    EXPECT_FALSE(ChooseSearchBudget(1, fraction).zopfli_best);
    EXPECT_FALSE(ChooseSearchBudget(kZopfliMinimum, fraction).zopfli_best);
    for (const size_t bytes : {kZopfliMinimum + 1, kTiny}) {
      const SearchBudget budget = ChooseSearchBudget(bytes, fraction);
      EXPECT_TRUE(budget.zopfli_best) << bytes;
      EXPECT_FALSE(budget.zopfli_probe) << bytes;
      EXPECT_FALSE(budget.zopfli.split_blocks) << bytes;
      EXPECT_EQ(budget.zopfli.pieces, 1u) << bytes;
    }
  }
}

TEST(SearchBudget, LargePicturesGetZopfliWhereItCanPayAndTimeAllows) {
  struct Case {
    size_t filtered_bytes;
    double compressed_fraction;
    bool zopfli;
    bool probe;
  };
  const Case cases[] = {
      {44 * kMiB, 0.015, true, false},   // long repeats: zopfli always pays
      {44 * kMiB, 0.06, true, true},     // a drawing or a dark wallpaper: probed
      {7 * kMiB, 0.15, true, true},      // photographic but small enough: probed
      {12 * kMiB, 0.15, false, false},   // photographic and larger: not worth it
      {7 * kMiB, 0.45, false, false},    // grainy, screened whole: nothing to probe
      {12 * kMiB, 0.45, false, false},
      {7 * kMiB, 0.6, false, false},     // noise
      {70 * kMiB, 0.015, false, false},  // huge: the quick search
  };
  for (const Case& c : cases) {
    const SearchBudget budget = ChooseSearchBudget(c.filtered_bytes, c.compressed_fraction);
    SCOPED_TRACE(testing::Message() << c.filtered_bytes << " bytes at " << c.compressed_fraction);
    EXPECT_EQ(budget.zopfli_best, c.zopfli);
    if (!c.zopfli) continue;
    EXPECT_EQ(budget.zopfli_probe, c.probe);
    // A probe needs sampled rows; only long repeats get zopfli unprobed.
    if (c.probe) {
      EXPECT_NE(budget.screening_sample, 0u);
    } else {
      EXPECT_LE(c.compressed_fraction, kRepetitiveFraction);
    }
  }
}

TEST(SearchBudget, LargePiecesGetTheLargeRoundsWithinTheCapsOnPiecesAndRounds) {
  for (const size_t bytes : {kMedium + 1, 7 * kMiB, 44 * kMiB, kHuge}) {
    const SearchBudget budget = ChooseSearchBudget(bytes, 0.015);
    const ZopfliSettings zopfli = ZopfliSettingsFor(budget, bytes);
    EXPECT_EQ(zopfli.iterations, kLargeZopfliRounds) << bytes;
    EXPECT_LE((bytes + zopfli.pieces - 1) / zopfli.pieces, kLargeZopfliMaxPiece) << bytes;  // memory
    SearchBudget one_round = budget;
    one_round.zopfli_max_rounds = 1;
    EXPECT_EQ(ZopfliSettingsFor(one_round, bytes).iterations, 1) << bytes;
  }
  // A palette finalist of a large picture can be smaller than kMedium: it
  // gets the rounds a picture of its own size would.
  const SearchBudget budget = ChooseSearchBudget(7 * kMiB, 0.015);
  EXPECT_EQ(ZopfliSettingsFor(budget, kMedium).iterations,
            ZopfliSettingsFor(ChooseSearchBudget(kMedium, 0.015), kMedium).iterations);
}

}  // namespace
}  // namespace repng::png
