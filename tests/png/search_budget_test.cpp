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
      EXPECT_TRUE(ChooseSearchBudget(bytes, fraction).optimal_pass) << bytes << " bytes at " << fraction;
    }
  }
  EXPECT_TRUE(ChooseSearchBudget(kSmall, 0.3).optimal_pass);
}

// Large photographs get the quick pass on their one finalist instead of a
// strong pass that runs on one core.
TEST(SearchBudget, LargerPicturesGetTheOptimalPassUnlessPhotographicOrNoisy) {
  struct Case {
    size_t filtered_bytes;
    double compressed_fraction;
    bool optimal;
    bool quick;
  };
  const Case cases[] = {
      {44 * kMiB, 0.015, true, false},   // long repeats
      {44 * kMiB, 0.06, true, false},    // a drawing or a dark wallpaper
      {7 * kMiB, 0.15, true, false},     // photographic but small enough
      {12 * kMiB, 0.15, false, true},    // photographic and larger: a tenth of a percent
      {7 * kMiB, 0.45, false, false},    // grainy
      {12 * kMiB, 0.45, false, true},
      {kSmall + 1, 0.6, false, false},   // noise
      {70 * kMiB, 0.015, false, false},  // huge: the quick search
  };
  for (const Case& c : cases) {
    const SearchBudget budget = ChooseSearchBudget(c.filtered_bytes, c.compressed_fraction);
    EXPECT_EQ(budget.optimal_pass, c.optimal) << c.filtered_bytes << " bytes at " << c.compressed_fraction;
    EXPECT_EQ(budget.quick_pass, c.quick) << c.filtered_bytes << " bytes at " << c.compressed_fraction;
    if (budget.quick_pass) {
      EXPECT_EQ(budget.finalists, 1u);
    }
  }
}

}  // namespace
}  // namespace repng::png
