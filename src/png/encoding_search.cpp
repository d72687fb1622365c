#include "png/encoding_search.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <mutex>
#include <numeric>
#include <optional>
#include <string>
#include <tuple>

#include "png/chunk_writer.h"
#include "png/chunked_stream.h"
#include "png/colour_summary.h"
#include "png/encoder_fault.h"
#include "png/optimal_pass.h"
#include "png/palette_order.h"
#include "png/parallel_trials.h"
#include "png/row_sample.h"
#include "png/search_settings.h"
#include "png/translucent_colours.h"
#include "png/zlib_compression.h"

namespace repng::png {
namespace {

constexpr size_t kUnbounded = std::numeric_limits<size_t>::max();

struct Trial {
  size_t reduction;
  FilterStrategy strategy;
};

struct Screened {
  size_t size;
  size_t trial;  // ties go to the earlier trial, so the order of work does not matter
  std::vector<uint8_t> filtered;
  bool operator<(const Screened& other) const {
    return std::tie(size, trial) < std::tie(other.size, other.trial);
  }
};

// The best `capacity` screened trials. A trial is dropped as soon as its
// stream grows past the worst of the kept ones (deflate gives up when its
// output is full). Every trial that belongs among the true best has a size
// no larger than that bound at any moment, so the final choice does not
// depend on which trials happened to finish first.
class Finalists {
 public:
  explicit Finalists(size_t capacity) : capacity_(capacity) {}

  size_t Bound() {
    const std::lock_guard<std::mutex> hold(lock_);
    return kept_.size() < capacity_ ? kUnbounded : kept_.back().size;
  }

  void Offer(Screened candidate) {
    const std::lock_guard<std::mutex> hold(lock_);
    kept_.insert(std::upper_bound(kept_.begin(), kept_.end(), candidate), std::move(candidate));
    if (kept_.size() > capacity_) kept_.pop_back();
  }

  std::vector<Screened> Take() { return std::move(kept_); }

 private:
  size_t capacity_;
  std::mutex lock_;
  std::vector<Screened> kept_;
};

}  // namespace

double CompressedFraction(const PngRaster& raster, Workers* workers) {
  const size_t total = FilteredSizeOf(raster);
  if (total == 0) throw EncoderFault("raster size");
  // Bands of equal rows, each a raw deflate stream; the zlib wrapping is
  // counted once, so that a single band is exactly the zlib stream's size.
  const size_t bands = (total + settings::kNoiseProbeBand - 1) / settings::kNoiseProbeBand;
  const uint32_t band_rows = static_cast<uint32_t>((raster.height + bands - 1) / bands);
  const size_t band_count = (raster.height + band_rows - 1) / band_rows;
  constexpr size_t kZlibWrapping = 2 + 4;
  std::vector<size_t> sizes(band_count);
  const auto probe = [&](size_t band, ZlibCompressor& compressor, std::vector<uint8_t>& scratch) {
    const uint32_t first = static_cast<uint32_t>(band * band_rows);
    const uint32_t rows = std::min(band_rows, raster.height - first);
    const std::vector<uint8_t> filtered = FilterRows(raster, FilterStrategy::kMinSum, first, rows);
    sizes[band] = compressor.DeflateSize(filtered.data(), filtered.size(), kUnbounded, &scratch);
    if (sizes[band] == 0) throw EncoderFault("deflate refused an unbounded stream");
  };
  if (workers == nullptr || band_count == 1) {
    ZlibCompressor compressor(settings::kNoiseProbeLevel);
    std::vector<uint8_t> scratch;
    for (size_t band = 0; band < band_count; ++band) probe(band, compressor, scratch);
  } else {
    // A band holds its rows and their stream, twice its size.
    workers->Run(band_count, [&](size_t band, unsigned) {
      ZlibCompressor compressor(settings::kNoiseProbeLevel);
      std::vector<uint8_t> scratch;
      probe(band, compressor, scratch);
    }, TrialsAtOnce(2 * settings::kNoiseProbeBand));
  }
  const size_t compressed = std::accumulate(sizes.begin(), sizes.end(), kZlibWrapping);
  return static_cast<double>(compressed) / static_cast<double>(total);
}

namespace {

// The memory a trial holds while it compresses `filtered` bytes: the bytes,
// the room for their stream and its compressor.
size_t TrialBytes(size_t filtered, int level) { return 2 * filtered + CompressorBytes(level); }

// How many of the trials screening `reductions` at `level` may run at once;
// the first reduction is the widest.
unsigned ScreeningTrialsAtOnce(const std::vector<ReducedCandidate>& reductions, int level) {
  return TrialsAtOnce(TrialBytes(FilteredSizeOf(reductions.front().raster), level));
}

// Screens `trials` into `finalists`, each on its worker's compressor at
// `level`. `reductions` are the sampled rows when `sample` is not the whole
// picture; sizes are then estimates for the whole.
void Screen(const std::vector<ReducedCandidate>& reductions, const RowSample& sample,
            const std::vector<Trial>& trials, size_t first_index, int level, Finalists* finalists,
            Workers& workers, WorkerCompressors& compressors) {
  const unsigned most = ScreeningTrialsAtOnce(reductions, level);
  // Brute force costs several times any other strategy: started last, it
  // ran on alone while the other workers waited. Started first, it still
  // outlasts the rest on small pictures: the workers that run out of trials
  // join its rows' trials. The finalists depend on sizes and trial numbers
  // only, not on the order the trials run in.
  std::vector<size_t> order(trials.size() - first_index);
  std::iota(order.begin(), order.end(), first_index);
  std::stable_partition(order.begin(), order.end(),
                        [&](size_t index) { return trials[index].strategy == FilterStrategy::kBruteForce; });
  workers.Run(order.size(), [&](size_t offset, unsigned worker) {
    if (!compressors[worker]) compressors[worker].emplace(level);
    const size_t index = order[offset];
    const Trial& trial = trials[index];
    const PngRaster& raster = reductions[trial.reduction].raster;
    // Sizes are whole files: a palette's PLTE and tRNS can outweigh what it
    // saves on a small picture.
    const size_t layout = LayoutChunksSize(raster);
    const size_t bound = finalists->Bound();
    if (bound <= layout) return;
    const size_t max_stream = SampleBound(bound == kUnbounded ? kUnbounded : bound - layout, sample);
    std::vector<uint8_t> filtered = FilterImage(raster, trial.strategy, &workers);
    const size_t stream_size = compressors[worker]->StreamSize(filtered.data(), filtered.size(), max_stream);
    if (stream_size == 0) return;  // larger than every kept trial
    finalists->Offer(Screened{ScaleToWhole(stream_size, sample) + layout, index, std::move(filtered)});
  }, most);
}

// Two rounds: the ranking strategies on every reduction, then the others on
// the best reductions only, so that reductions times strategies does not
// multiply the time.
std::vector<Screened> ScreenAll(const std::vector<ReducedCandidate>& reductions, const RowSample& sample,
                                const SearchBudget& budget, std::vector<Trial>* trials, Workers& workers) {
  for (size_t r = 0; r < reductions.size(); ++r) {
    for (const FilterStrategy strategy : budget.first_strategies) trials->push_back({r, strategy});
  }
  if (trials->empty()) throw EncoderFault("no trials");
  WorkerCompressors compressors(workers.Count());
  const size_t capacity = std::max<size_t>(budget.finalists, 1);
  // In one round, the finalists kept so far hold their rows while as many
  // trials run as the trials' memory allows; two rounds drop all but the
  // best between them. One round, then, only where every trial and the
  // finalists fit in that memory at once: a 5912 x 5912 picture screened
  // whole peaked a copy of its rows higher.
  if (reductions.size() == 1 && ScreeningTrialsAtOnce(reductions, budget.screening_level) >=
                                    trials->size() + budget.strategies.size() + capacity) {
    // The best reduction is known before any trial: both rounds run as one,
    // and no worker waits for the first round's last trial. The trials are
    // numbered as in two rounds, and the finalists are the same: the best
    // of all trials, whatever bound each ran under.
    for (const FilterStrategy strategy : budget.strategies) trials->push_back({0, strategy});
    Finalists finalists(capacity);
    Screen(reductions, sample, *trials, 0, budget.screening_level, &finalists, workers, compressors);
    return finalists.Take();
  }
  const size_t kept = std::max<size_t>(budget.reductions_kept, 1);
  Finalists ranking(std::max<size_t>(budget.finalists, kept * budget.first_strategies.size()));
  // Both rounds screen at one level: their compressors serve both.
  Screen(reductions, sample, *trials, 0, budget.screening_level, &ranking, workers, compressors);
  std::vector<Screened> ranked = ranking.Take();

  std::vector<size_t> best_reductions;
  for (const Screened& s : ranked) {
    const size_t r = (*trials)[s.trial].reduction;
    if (best_reductions.size() < kept &&
        std::find(best_reductions.begin(), best_reductions.end(), r) == best_reductions.end()) {
      best_reductions.push_back(r);
    }
  }
  const size_t second_round = trials->size();
  for (size_t rank = 0; rank < best_reductions.size(); ++rank) {
    for (const FilterStrategy strategy : budget.strategies) {
      if (strategy == FilterStrategy::kBruteForce && rank >= settings::kBruteForceReductions) continue;
      trials->push_back({best_reductions[rank], strategy});
    }
  }

  Finalists finalists(std::max<size_t>(budget.finalists, 1));
  for (Screened& s : ranked) finalists.Offer(std::move(s));
  Screen(reductions, sample, *trials, second_round, budget.screening_level, &finalists, workers, compressors);
  return finalists.Take();
}

// The strong pass over the finalists: libdeflate's strong level for each,
// then the optimal pass for the best when the budget allows; the smallest
// file wins, ties to the better screened finalist. `layouts` holds each
// finalist's PLTE and tRNS bytes.
struct Compressed {
  std::vector<uint8_t> stream;
  size_t finalist = 0;
  std::string method;
};

// For each of `order` (indices of finalists), the position in `order` of the
// first finalist with the same filtered data. Strategies often agree on a
// small picture, and a compressor's output depends on its input only, so
// such finalists share one run.
std::vector<size_t> FirstWithSameData(const std::vector<Screened>& finalists, const std::vector<size_t>& order) {
  std::vector<size_t> first(order.size());
  for (size_t i = 0; i < order.size(); ++i) {
    first[i] = i;
    for (size_t j = 0; j < i; ++j) {
      if (first[j] == j && finalists[order[j]].filtered == finalists[order[i]].filtered) {
        first[i] = j;
        break;
      }
    }
  }
  return first;
}

// Runs `compress` once for each distinct data among `order`, into the
// result's slot of the first finalist that has it; the other slots stay empty.
std::vector<std::vector<uint8_t>> CompressDistinct(
    const std::vector<size_t>& order, const std::vector<size_t>& first,
    const std::function<std::vector<uint8_t>(size_t finalist, unsigned worker)>& compress, Workers& workers,
    unsigned most) {
  std::vector<size_t> runs;
  for (size_t i = 0; i < order.size(); ++i) {
    if (first[i] == i) runs.push_back(i);
  }
  std::vector<std::vector<uint8_t>> streams(order.size());
  workers.Run(runs.size(), [&](size_t index, unsigned worker) {
    streams[runs[index]] = compress(order[runs[index]], worker);
  }, most);
  return streams;
}

std::vector<uint8_t> StrongStream(const std::vector<uint8_t>& data, ZlibCompressor& compressor, Workers& workers) {
  return ChunkedZlibStream(data, settings::kStrongPassChunk, compressor, workers);
}

// The optimal stream when it is shorter than the strong one, else the
// strong one: both encode the same finalist, whose layout adds the same to
// each file.
Compressed Shorter(size_t finalist, std::vector<uint8_t> optimal, std::vector<uint8_t> strong,
                   std::string strong_name) {
  if (optimal.size() < strong.size()) return {std::move(optimal), finalist, "optimal"};
  return {std::move(strong), finalist, std::move(strong_name)};
}

Compressed CompressFinalists(const std::vector<Screened>& finalists, const std::vector<size_t>& layouts,
                             const SearchBudget& budget, Workers& workers) {
  if (budget.last_pass == LastPass::kQuick) {
    // One finalist (the budget allows no more): the quick pass does not rank.
    if (finalists.size() != 1) throw EncoderFault("the quick pass takes one finalist");
    return {QuickZlibStream(finalists.front().filtered, workers), 0, "quick"};
  }
  std::vector<size_t> all(finalists.size());
  std::iota(all.begin(), all.end(), size_t{0});
  const std::vector<size_t> strong_first = FirstWithSameData(finalists, all);
  auto file_size = [&layouts](size_t finalist, const std::vector<uint8_t>& stream) {
    return stream.size() + layouts[finalist];
  };
  const auto strongest_name = "deflate-" + std::to_string(budget.final_level);
  const bool optimal_follows = budget.last_pass == LastPass::kOptimal;
  if (optimal_follows && std::all_of(strong_first.begin(), strong_first.end(), [](size_t f) { return f == 0; })) {
    // One data for every finalist (a large picture's single finalist, or
    // strategies that agree): nothing to rank, so the strong pass runs
    // beside the optimal pass's segments instead of before them. The
    // smallest layout wins, the earlier among equals, as below.
    const size_t first = static_cast<size_t>(std::min_element(layouts.begin(), layouts.end()) - layouts.begin());
    std::vector<uint8_t> strong;
    std::vector<uint8_t> optimal = OptimalZlibStream(finalists[first].filtered, workers, [&] {
      ZlibCompressor compressor(budget.final_level);
      strong = StrongStream(finalists[first].filtered, compressor, workers);
    });
    return Shorter(first, std::move(optimal), std::move(strong), strongest_name);
  }

  size_t largest = 0;
  for (const Screened& finalist : finalists) largest = std::max(largest, finalist.filtered.size());
  WorkerCompressors compressors(workers.Count());
  std::vector<std::vector<uint8_t>> strong =
      CompressDistinct(all, strong_first, [&](size_t finalist, unsigned worker) {
        if (!compressors[worker]) compressors[worker].emplace(budget.final_level);
        return StrongStream(finalists[finalist].filtered, *compressors[worker], workers);
      },
      workers, TrialsAtOnce(TrialBytes(largest, budget.final_level)));
  compressors.clear();  // the optimal pass's segments take their place at the peak
  // A finalist's stream lives in the slot of the first with its data.
  const auto strong_of = [&](size_t finalist) -> std::vector<uint8_t>& { return strong[strong_first[finalist]]; };
  // Among equal sizes the earlier finalist wins.
  const size_t first = *std::min_element(all.begin(), all.end(), [&](size_t a, size_t b) {
    return file_size(a, strong_of(a)) < file_size(b, strong_of(b));
  });
  if (!optimal_follows) return {std::move(strong_of(first)), first, strongest_name};
  return Shorter(first, OptimalZlibStream(finalists[first].filtered, workers), std::move(strong_of(first)),
                 strongest_name);
}

// Finalists screened on sampled rows get their whole picture filtered, one
// after another: brute force, which costs several times the rest together,
// spreads each row's trials over the workers.
void FilterWholeFinalists(const std::vector<ReducedCandidate>& reductions, const std::vector<Trial>& trials,
                          std::vector<Screened>* finalists, Workers& workers) {
  for (Screened& finalist : *finalists) {
    const Trial& trial = trials[finalist.trial];
    finalist.filtered = FilterImage(reductions[trial.reduction].raster, trial.strategy, &workers);
  }
}

// Idle compressors are kept for the pictures whose own work is small enough
// that setting up new ones shows.
void KeepIdleCompressorsFor(const std::vector<ReducedCandidate>& reductions) {
  KeepIdleCompressors(FilteredSizeOf(reductions.front().raster) <= settings::kKeepIdleCompressorsUpTo);
}

Encoding Search(std::vector<ReducedCandidate> reductions, const SearchBudget& budget, Workers& workers) {
  KeepIdleCompressorsFor(reductions);
  const RowSample sample = ChooseRowSample(reductions.front().raster, budget.screening_sample);
  std::vector<Trial> trials;
  std::vector<Screened> finalists;
  if (sample.IsWhole()) {
    finalists = ScreenAll(reductions, sample, budget, &trials, workers);
  } else {
    std::vector<ReducedCandidate> sampled;
    for (const ReducedCandidate& reduction : reductions) {
      sampled.push_back({reduction.name, TakeSampledRows(reduction.raster, sample)});
    }
    finalists = ScreenAll(sampled, sample, budget, &trials, workers);
    FilterWholeFinalists(reductions, trials, &finalists, workers);
  }
  if (finalists.empty()) throw EncoderFault("no finalist");
  // From here only the finalists' filtered rows are read: the unfiltered
  // rows of every reduction, each up to the picture's size, go before the
  // strong passes, whose segments are the largest part of the peak.
  for (ReducedCandidate& reduction : reductions) std::vector<uint8_t>().swap(reduction.raster.rows);
  std::vector<size_t> layouts;
  for (const Screened& finalist : finalists) {
    layouts.push_back(LayoutChunksSize(reductions[trials[finalist.trial].reduction].raster));
  }
  Compressed winner = CompressFinalists(finalists, layouts, budget, workers);

  const Trial& trial = trials[finalists[winner.finalist].trial];
  ReducedCandidate& reduction = reductions[trial.reduction];
  Encoding encoding;
  encoding.raster = std::move(reduction.raster);
  encoding.zlib_stream = std::move(winner.stream);
  encoding.description = reduction.name + " " + FilterStrategyName(trial.strategy) + " " + winner.method;
  return encoding;
}

}  // namespace

std::vector<ReducedCandidate> BuildReductions(StraightImage image) {
  const ColourSummary summary = SummariseColours(image.argb.data(), image.argb.size());
  std::vector<ReducedCandidate> reductions;
  reductions.push_back({"truecolour", BuildTruecolourRaster(image, summary)});
  if (summary.all_gray) reductions.push_back({"gray", BuildGrayRaster(image, summary)});
  std::vector<ReducedCandidate> palettes;
  if (summary.fits_palette) {
    for (int order = 0; order < kPaletteOrderCount; ++order) {
      const auto palette_order = static_cast<PaletteOrder>(order);
      const std::vector<uint32_t> colours = OrderPalette(image, summary.palette_colours, palette_order);
      palettes.push_back(
          {std::string("palette/") + PaletteOrderName(palette_order), BuildPaletteRaster(image, colours)});
    }
  }
  if (HasTranslucentPixels(image)) {
    // The same layouts: smoothing keeps alpha and keeps gray pixels gray.
    // Nothing reads the picture once its smoothed copy is made, and a large
    // one's peak was here: both copies and both truecolour rasters at once.
    const StraightImage smooth = SmoothTranslucentColours(image);
    image = StraightImage();
    reductions.push_back({"truecolour/smooth", BuildTruecolourRaster(smooth, summary)});
    if (summary.all_gray) reductions.push_back({"gray/smooth", BuildGrayRaster(smooth, summary)});
  }
  for (ReducedCandidate& palette : palettes) reductions.push_back(std::move(palette));
  return reductions;
}

SearchBudget ChooseBudgetFor(const std::vector<ReducedCandidate>& reductions, Workers* workers) {
  if (reductions.empty()) throw EncoderFault("no reductions");
  const PngRaster& widest = reductions.front().raster;
  return ChooseSearchBudget(FilteredSizeOf(widest), CompressedFraction(widest, workers));
}

Encoding FindSmallestEncoding(StraightImage image, unsigned workers) {
  std::vector<ReducedCandidate> reductions = BuildReductions(std::move(image));
  Workers pool(workers);
  KeepIdleCompressorsFor(reductions);  // before the noise probe's compressors
  const SearchBudget budget = ChooseBudgetFor(reductions, &pool);
  return Search(std::move(reductions), budget, pool);
}

Encoding FindSmallestEncodingWithin(const StraightImage& image, const SearchBudget& budget) {
  Workers workers;
  return Search(BuildReductions(image), budget, workers);
}

Encoding FindSmallestEncodingWithin(std::vector<ReducedCandidate> reductions, const SearchBudget& budget) {
  Workers workers;
  return Search(std::move(reductions), budget, workers);
}

}  // namespace repng::png
