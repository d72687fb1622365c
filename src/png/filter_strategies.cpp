#include "png/filter_strategies.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <limits>
#include <optional>

#include "png/encoder_fault.h"
#include "png/parallel_trials.h"
#include "png/row_filters.h"
#include "png/search_settings.h"
#include "png/zlib_compression.h"

namespace repng::png {
namespace {

// The brute-force search compresses each trial row after this much of the
// filtered data before it, so that matches with earlier rows count.
constexpr size_t kBruteForceWindow = settings::kBruteForceWindow;
// A fast level is enough to rank five trials of one row.
constexpr int kBruteForceLevel = settings::kBruteForceLevel;

// Sum of the filtered bytes taken as signed values: the PNG standard's
// recommended heuristic for choosing a filter per row.
double SumOfAbsoluteValues(const uint8_t* data, size_t size) {
  uint64_t sum = 0;
  for (size_t i = 0; i < size; ++i) sum += data[i] < 128 ? data[i] : 256u - data[i];
  return static_cast<double>(sum);
}

// sum c*log2(c) over a histogram; with a fixed total, a larger value means a
// smaller Shannon entropy, so its negation is the score.
template <typename Counts>
double NegatedCountLogSum(const Counts& counts) {
  double sum = 0;
  for (const uint32_t count : counts) {
    if (count > 1) sum += count * std::log2(static_cast<double>(count));
  }
  return -sum;
}

// Shannon entropy of the row's bytes (the heuristic of pngcrush-like tools and
// oxipng's "entropy" strategy).
double ByteEntropy(const uint8_t* data, size_t size) {
  std::array<uint32_t, 256> counts{};
  for (size_t i = 0; i < size; ++i) ++counts[data[i]];
  return NegatedCountLogSum(counts);
}

// Pairs of neighbouring bytes: fewer distinct pairs or a lower pair entropy
// tend to mean longer deflate matches (oxipng's "bigrams" strategies).
// The table of counts is the thread's, set up once (a search filters dozens
// of times, and a small picture's rows are far smaller than the table); every
// count leaves it zero again. One counter at a time per thread.
class BigramCounter {
 public:
  BigramCounter() : counts_(Table()) {}

  double DistinctPairs(const uint8_t* data, size_t size) {
    Count(data, size);
    const double distinct = static_cast<double>(touched_.size());
    Reset();
    return distinct;
  }

  double PairEntropy(const uint8_t* data, size_t size) {
    Count(data, size);
    double sum = 0;
    for (const uint16_t pair : touched_) {
      const uint32_t count = counts_[pair];
      if (count > 1) sum += count * std::log2(static_cast<double>(count));
    }
    Reset();
    return -sum;
  }

 private:
  static constexpr size_t kPairs = 65536;

  static std::vector<uint32_t>& Table() {
    thread_local std::vector<uint32_t> counts(kPairs, 0);
    return counts;
  }

  void Count(const uint8_t* data, size_t size) {
    // Nothing may throw between counting and Reset, or the table would keep
    // this row's counts.
    touched_.reserve(std::min(size, kPairs));
    for (size_t i = 1; i < size; ++i) {
      const uint16_t pair = static_cast<uint16_t>(data[i - 1] << 8 | data[i]);
      if (counts_[pair]++ == 0) touched_.push_back(pair);
    }
  }
  void Reset() {
    for (const uint16_t pair : touched_) counts_[pair] = 0;
    touched_.clear();
  }

  std::vector<uint32_t>& counts_;
  std::vector<uint16_t> touched_;
};

class RowScorer {
 public:
  explicit RowScorer(FilterStrategy strategy) : strategy_(strategy) {
    if (strategy == FilterStrategy::kBruteForce) compressor_.emplace(kBruteForceLevel);
    if (strategy == FilterStrategy::kBigrams || strategy == FilterStrategy::kBigramEntropy) bigrams_.emplace();
  }

  // `window_start` .. `row_end` is the filtered data so far with the trial row
  // (filter byte included) at its end; the row is the last `row_size` bytes.
  double Score(const uint8_t* window_start, const uint8_t* row_end, size_t row_size) {
    // The heuristics look at the filtered bytes without the filter byte.
    const uint8_t* row = row_end - row_size + 1;
    row_size -= 1;
    switch (strategy_) {
      case FilterStrategy::kEntropy: return ByteEntropy(row, row_size);
      case FilterStrategy::kBigrams: return bigrams_->DistinctPairs(row, row_size);
      case FilterStrategy::kBigramEntropy: return bigrams_->PairEntropy(row, row_size);
      case FilterStrategy::kBruteForce: {
        const size_t size = static_cast<size_t>(row_end - window_start);
        const size_t compressed = compressor_->DeflateSize(
            window_start, size, std::numeric_limits<size_t>::max(), &scratch_);
        return static_cast<double>(compressed);
      }
      default: return SumOfAbsoluteValues(row, row_size);
    }
  }

 private:
  FilterStrategy strategy_;
  std::optional<BigramCounter> bigrams_;
  std::optional<ZlibCompressor> compressor_;
  std::vector<uint8_t> scratch_;
};

// A fixed strategy's value is the filter byte it writes before every row.
constexpr bool CarriesFilterByte(FilterStrategy strategy, uint8_t filter) {
  return static_cast<uint8_t>(strategy) == filter;
}
static_assert(CarriesFilterByte(FilterStrategy::kNone, kFilterNone) &&
              CarriesFilterByte(FilterStrategy::kSub, kFilterSub) &&
              CarriesFilterByte(FilterStrategy::kUp, kFilterUp) &&
              CarriesFilterByte(FilterStrategy::kAverage, kFilterAverage) &&
              CarriesFilterByte(FilterStrategy::kPaeth, kFilterPaeth));
static_assert(static_cast<uint8_t>(FilterStrategy::kMinSum) == kFilterCount,
              "the adaptive strategies follow the fixed ones");

bool IsFixed(FilterStrategy strategy) {
  return static_cast<uint8_t>(strategy) < kFilterCount;
}

}  // namespace

const char* FilterStrategyName(FilterStrategy strategy) {
  switch (strategy) {
    case FilterStrategy::kNone: return "none";
    case FilterStrategy::kSub: return "sub";
    case FilterStrategy::kUp: return "up";
    case FilterStrategy::kAverage: return "average";
    case FilterStrategy::kPaeth: return "paeth";
    case FilterStrategy::kMinSum: return "minsum";
    case FilterStrategy::kEntropy: return "entropy";
    case FilterStrategy::kBigrams: return "bigrams";
    case FilterStrategy::kBigramEntropy: return "bigram-entropy";
    case FilterStrategy::kBruteForce: return "brute-force";
  }
  return "?";
}

size_t FilteredSizeOf(const PngRaster& raster) {
  const size_t row_bytes = RowBytes(raster);
  if (row_bytes == 0 || row_bytes == std::numeric_limits<size_t>::max()) return 0;
  if (raster.height > std::numeric_limits<size_t>::max() / (row_bytes + 1)) return 0;
  return raster.height * (row_bytes + 1);
}

std::vector<uint8_t> FilterImage(const PngRaster& raster, FilterStrategy strategy, Workers* workers) {
  return FilterRows(raster, strategy, 0, raster.height, workers);
}

std::vector<uint8_t> FilterRows(const PngRaster& raster, FilterStrategy strategy, uint32_t first, uint32_t count,
                                Workers* workers) {
  const size_t row_bytes = RowBytes(raster);
  if (FilteredSizeOf(raster) == 0 || raster.rows.size() != row_bytes * raster.height) {
    throw EncoderFault("raster size");
  }
  if (first > raster.height || count > raster.height - first) throw EncoderFault("rows beyond the raster");
  const size_t stride = FilterStrideOf(raster.color_type, raster.bit_depth);

  std::vector<uint8_t> out(size_t{count} * (row_bytes + 1));
  if (IsFixed(strategy)) {
    const uint8_t type = static_cast<uint8_t>(strategy);
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t y = first + i;
      const uint8_t* row = raster.rows.data() + size_t{y} * row_bytes;
      const uint8_t* previous = y > 0 ? row - row_bytes : nullptr;
      uint8_t* target = out.data() + size_t{i} * (row_bytes + 1);
      target[0] = type;
      FilterRow(type, row, previous, row_bytes, stride, target + 1);
    }
    return out;
  }

  // Brute force scores a row's filters on several workers at once, each
  // filtering into a copy of the window: the scores, and so the bytes, are
  // the serial loop's.
  const bool parallel = strategy == FilterStrategy::kBruteForce && workers != nullptr && workers->Count() > 1;
  std::deque<RowScorer> scorers;  // not movable: they hold compressors
  for (unsigned w = 0; w < (parallel ? workers->Count() : 1); ++w) scorers.emplace_back(strategy);
  std::vector<std::vector<uint8_t>> trial_rows(parallel ? workers->Count() : 0);
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t y = first + i;
    const uint8_t* row = raster.rows.data() + size_t{y} * row_bytes;
    const uint8_t* previous = y > 0 ? row - row_bytes : nullptr;
    uint8_t* target = out.data() + size_t{i} * (row_bytes + 1);
    const size_t window_before = std::min<size_t>(kBruteForceWindow, size_t{i} * (row_bytes + 1));
    // The first row has no row above: Up is None and Paeth is Sub there.
    std::array<uint8_t, kFilterCount> types;
    size_t type_count = 0;
    for (uint8_t type = 0; type < kFilterCount; ++type) {
      if (previous == nullptr && (type == kFilterUp || type == kFilterPaeth)) continue;
      types[type_count++] = type;
    }
    std::array<double, kFilterCount> scores;
    if (parallel) {
      workers->Run(type_count, [&](size_t t, unsigned worker) {
        std::vector<uint8_t>& trial = trial_rows[worker];
        trial.resize(window_before + row_bytes + 1);
        std::copy(target - window_before, target, trial.begin());
        uint8_t* trial_row = trial.data() + window_before;
        trial_row[0] = types[t];
        FilterRow(types[t], row, previous, row_bytes, stride, trial_row + 1);
        scores[t] = scorers[worker].Score(trial.data(), trial_row + row_bytes + 1, row_bytes + 1);
      });
    } else {
      for (size_t t = 0; t < type_count; ++t) {
        target[0] = types[t];
        FilterRow(types[t], row, previous, row_bytes, stride, target + 1);
        scores[t] = scorers[0].Score(target - window_before, target + row_bytes + 1, row_bytes + 1);
      }
    }
    // The first of the lowest scores wins; the serial loop left the last
    // type's row in place.
    const size_t best = static_cast<size_t>(std::min_element(scores.begin(), scores.begin() + type_count) - scores.begin());
    if (parallel || best + 1 != type_count) {
      target[0] = types[best];
      FilterRow(types[best], row, previous, row_bytes, stride, target + 1);
    }
  }
  return out;
}

}  // namespace repng::png
