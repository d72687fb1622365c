// How much searching a picture gets. Chosen before the search starts, from the
// picture's size and how well it compresses at all, because a deflate call
// cannot be interrupted once it runs.
#pragma once

#include <cstddef>
#include <vector>

#include "png/filter_strategies.h"
#include "png/search_settings.h"

namespace repng::png {

// What the finalists get after the screening.
enum class LastPass {
  kStrong,   // libdeflate at `final_level` for each; the smallest file wins
  kOptimal,  // the strong pass ranks them, and the best gets the optimal pass too
  kQuick,    // the single finalist gets the quick pass instead (no strong pass)
};

struct SearchBudget {
  // Tried on every reduction; the best `reductions_kept` reductions then get
  // `strategies` as well.
  std::vector<FilterStrategy> first_strategies;
  size_t reductions_kept = 1;
  std::vector<FilterStrategy> strategies;
  int screening_level = 6;   // libdeflate level of the screening
  size_t screening_sample = 0;  // filtered bytes screened per trial (rows sampled); 0: all
  size_t finalists = 1;      // best screened trials given the strong pass
  int final_level = 12;      // libdeflate level of the strong pass
  LastPass last_pass = LastPass::kStrong;
};

// `filtered_bytes` is the size of the largest candidate's filtered data;
// `compressed_fraction` how much of it a quick deflate keeps (near 1 for
// noise, near 0 for flat drawings).
SearchBudget ChooseSearchBudget(size_t filtered_bytes, double compressed_fraction);

}  // namespace repng::png
