// The budget of large pictures: how many rounds zopfli's pieces get.
#include <gtest/gtest.h>

#include "platform/gdiplus/png/search_budget.h"
#include "platform/gdiplus/png/search_settings.h"

namespace repng::png {
namespace {

using namespace settings;

constexpr size_t kMiB = 1024 * 1024;

TEST(SearchBudget, LargePiecesGetTheLargeRoundsWithinTheCapsOnPiecesAndRounds) {
  for (const size_t bytes : {kMedium + 1, 7 * kMiB, 44 * kMiB, kHuge}) {
    const SearchBudget budget = ChooseSearchBudget(bytes, 0.015);
    const ZopfliSettings zopfli = ZopfliSettingsFor(budget, bytes);
    EXPECT_EQ(zopfli.iterations, kLargeZopfliRounds) << bytes;
    EXPECT_LE((bytes + zopfli.pieces - 1) / zopfli.pieces, kZopfliMaxPiece) << bytes;  // memory
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
