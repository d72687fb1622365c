// How much searching a picture gets. Chosen before the search starts, from the
// picture's size and how well it compresses at all, because a deflate call
// cannot be interrupted once it runs.
#pragma once

#include <cstddef>
#include <vector>

#include "png/filter_strategies.h"
#include "png/search_settings.h"
#include "png/zlib_compression.h"

namespace repng::png {

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
  bool zopfli_best = false;  // the best finalist after the strong pass gets zopfli too
  // Zopfli runs on the whole only where it pays on the best finalist's
  // sampled rows.
  bool zopfli_probe = false;
  ZopfliSettings zopfli;  // its rounds are chosen per finalist by ZopfliSettingsFor
  int zopfli_max_rounds = settings::kZopfliMaxRounds;
};

// `filtered_bytes` is the size of the largest candidate's filtered data;
// `compressed_fraction` how much of it a quick deflate keeps (near 1 for
// noise, near 0 for flat drawings).
SearchBudget ChooseSearchBudget(size_t filtered_bytes, double compressed_fraction);

// Zopfli's settings for a finalist whose filtered data has `filtered_bytes`:
// the budget's, with as many rounds as its time allows on data of that size
// (a palette finalist is a third or a quarter of the picture's widest form).
ZopfliSettings ZopfliSettingsFor(const SearchBudget& budget, size_t filtered_bytes);

}  // namespace repng::png
