// Finding the smallest encoding of a picture among the exact reductions,
// palette orders and filter strategies, within a budget chosen from the
// picture's size. The result depends only on the picture, never on timing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "png/filter_strategies.h"
#include "png/parallel_trials.h"
#include "png/png_raster.h"
#include "png/reductions.h"
#include "png/search_budget.h"

namespace repng::png {

struct Encoding {
  PngRaster raster;                  // layout, palette and transparency; rows cleared
  std::vector<uint8_t> zlib_stream;  // the IDAT data
  std::string description;           // the winning candidate, for tools and tests
};

// One reduction of the picture with the name of the way it was made.
struct ReducedCandidate {
  std::string name;
  PngRaster raster;
};

// Every exact reduction of `image`: truecolour, gray when possible, and the
// palette in each order when the colours fit. Takes the picture so that it
// can free it as soon as none of them needs it.
std::vector<ReducedCandidate> BuildReductions(StraightImage image);

// How noisy a picture is: the share of `raster`'s min-sum filtered data that
// a fast deflate keeps. A large picture's bands may run on `workers`; the
// share is the same.
double CompressedFraction(const PngRaster& raster, Workers* workers = nullptr);

// The budget the search gives these reductions of a picture.
SearchBudget ChooseBudgetFor(const std::vector<ReducedCandidate>& reductions, Workers* workers = nullptr);

// Takes the picture so that its pixels are gone before the search, which
// needs only the reductions. The search runs on up to `workers` threads of
// its own, which give the same bytes whatever their number. Throws
// std::bad_alloc when memory runs out, EncoderFault on any other failure.
Encoding FindSmallestEncoding(StraightImage image, unsigned workers = CoreCount());

// The search with a given budget, on every core, for tools and tests.
Encoding FindSmallestEncodingWithin(const StraightImage& image, const SearchBudget& budget);
// The same on reductions already built.
Encoding FindSmallestEncodingWithin(std::vector<ReducedCandidate> reductions, const SearchBudget& budget);

}  // namespace repng::png
