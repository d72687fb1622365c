// The budget of large pictures: which get zopfli, with or without a probe on
// sampled rows first, and how many rounds their pieces get.
#include <gtest/gtest.h>

#include "platform/gdiplus/png/search_budget.h"
#include "platform/gdiplus/png/search_settings.h"

namespace repng::png {
namespace {

using namespace settings;

constexpr size_t kMiB = 1024 * 1024;

TEST(SearchBudget, LargePicturesGetZopfliWhereItCanPayAndTimeAllows) {
  struct Case {
    size_t filtered_bytes;
    double compressed_fraction;
    bool zopfli;
    bool probe;
  };
  const Case cases[] = {
      {44 * kMiB, 0.015, true, false},    // long repeats: zopfli always pays
      {44 * kMiB, 0.06, true, true},      // a drawing or a dark wallpaper: probed
      {7 * kMiB, 0.15, true, true},       // photographic but small enough: probed
      {12 * kMiB, 0.15, false, false},    // photographic and larger: not worth it
      {7 * kMiB, 0.45, false, false},     // grainy, screened whole: nothing to probe
      {12 * kMiB, 0.45, false, false},
      {7 * kMiB, 0.6, false, false},      // noise
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
