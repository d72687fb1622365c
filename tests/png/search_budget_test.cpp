// The budget: which pictures get the optimal pass, and which the quick
// searches.
#include <gtest/gtest.h>

#include "png/search_budget.h"
#include "png/search_settings.h"

namespace repng::png {
namespace {

using namespace settings;

constexpr size_t kMiB = 1024 * 1024;

// Every small picture gets the optimal pass on its best finalist, noisy ones
// too: there it costs milliseconds.
TEST(SearchBudget, SmallPicturesAllGetTheOptimalPass) {
  for (const double fraction : {0.01, 0.3, 0.9}) {
    for (const size_t bytes : {size_t{1}, size_t{100}, kTiny}) {
      EXPECT_EQ(ChooseSearchBudget(bytes, fraction).last_pass, LastPass::kOptimal) << bytes << " bytes at " << fraction;
    }
  }
  EXPECT_EQ(ChooseSearchBudget(kSmall, 0.3).last_pass, LastPass::kOptimal);
}

// Large photographs get the quick pass on their one finalist instead of a
// strong pass that runs on one core.
TEST(SearchBudget, LargerPicturesGetTheOptimalPassUnlessPhotographicOrNoisy) {
  struct Case {
    size_t filtered_bytes;
    double compressed_fraction;
    LastPass last_pass;
  };
  const Case cases[] = {
      {44 * kMiB, 0.015, LastPass::kOptimal},  // long repeats
      {44 * kMiB, 0.06, LastPass::kOptimal},  // a drawing or a dark wallpaper
      {7 * kMiB, 0.15, LastPass::kOptimal},  // photographic but small enough
      {12 * kMiB, 0.15, LastPass::kQuick},  // photographic and larger: a tenth of a percent
      {7 * kMiB, 0.45, LastPass::kStrong},  // grainy
      {12 * kMiB, 0.45, LastPass::kQuick},
      {kSmall + 1, 0.6, LastPass::kStrong},  // noise
      {70 * kMiB, 0.015, LastPass::kStrong},  // huge: the quick search
  };
  for (const Case& c : cases) {
    const SearchBudget budget = ChooseSearchBudget(c.filtered_bytes, c.compressed_fraction);
    EXPECT_EQ(budget.last_pass, c.last_pass) << c.filtered_bytes << " bytes at " << c.compressed_fraction;
    if (budget.last_pass == LastPass::kQuick) {
      EXPECT_EQ(budget.finalists, 1u);
    }
  }
}

}  // namespace
}  // namespace repng::png
