// Every setting of the encoder's search in one place: the sizes that part the
// tiers, the deflate levels, the numbers of finalists and zopfli's rounds.
// Each is chosen on the benchmark corpus; bytes come first, and within the
// same bytes the cheaper setting wins.
#pragma once

#include <cstddef>

namespace repng::png::settings {

// How noisy a picture is: the share of its min-sum filtered data that a
// level-1 deflate keeps. Only the ratio matters, so the fastest level will do.
inline constexpr int kNoiseProbeLevel = 1;
// Above this a picture is noise or a photograph: filters and palettes move it
// by a percent or two, so it gets a short search.
inline constexpr double kNoisyFraction = 0.5;
// Above this a large picture is grainy, as most photographs are even where
// sky or shadow compresses well; their PNG seldom beats their JPEG.
inline constexpr double kGrainyFraction = 0.25;
// At most this, a picture is made of long repeats (flat fields, gradients in
// steps): zopfli's parsing gains most there, and it always gets zopfli.
inline constexpr double kRepetitiveFraction = 0.02;
// At most this, a larger picture may be drawn (text, interfaces, flat
// artwork), where a zopfli round can gain 2 to 5 percent: whether it does is
// tried on sampled rows first. Photographs lie above, and get that trial
// only up to kLarge.
inline constexpr double kDrawnFraction = 0.07;

// Sizes of filtered data (of the widest reduction), which every trial's
// time grows with.
inline constexpr size_t kTiny = 32 * 1024;
inline constexpr size_t kSmall = 256 * 1024;
inline constexpr size_t kMedium = 2 * 1024 * 1024;
inline constexpr size_t kLarge = 8 * 1024 * 1024;
// Beyond the largest screens (5120 x 2880 with alpha is 59 MB) even one
// strong pass takes minutes: such pictures get the quick search.
inline constexpr size_t kHuge = 64 * 1024 * 1024;

// Beyond this the noise probe runs over bands of rows of about this size,
// each its own stream, and adds up their sizes: one copy of the whole
// picture's filtered rows and its stream would sit beside every reduction,
// at the peak of a 5K picture with alpha. The bands' sum is within a few
// tenths of a percent of the whole stream's.
inline constexpr size_t kNoiseProbeBand = kLarge;

// Filtered bytes each trial of a larger picture is screened on, in bands of
// rows. Beyond kLarge the bands must be larger: on screenshots the smaller
// sample ranks a filter first that loses by 6 percent on the whole.
inline constexpr size_t kSample = 256 * 1024;
inline constexpr size_t kLargeSample = 1024 * 1024;
// Bands of a sample, spread over the height.
inline constexpr unsigned kSampleBands = 4;
// A picture at most this many times its sample is screened whole.
inline constexpr size_t kSampleWholeFactor = 2;

// Screening levels: level 6 ranks small pictures as the final pass does;
// only the strongest level ranks the strategies of large drawings right.
inline constexpr int kSmallScreeningLevel = 6;
inline constexpr int kQuickScreeningLevel = 1;
// libdeflate's strongest level: the final pass wherever time allows.
inline constexpr int kStrongestLevel = 12;
// Final levels of the quick searches on large noisy pictures, whose JPEG
// the PNG almost never beats.
inline constexpr int kNoisyFinalLevel = 9;
inline constexpr int kHugeFinalLevel = 9;
inline constexpr int kGrainyLargeFinalLevel = 10;

// Finalists: the best screened trials that get the strong pass. Small
// pictures' screening at level 6 is not always the final order.
inline constexpr size_t kSmallFinalists = 3;
inline constexpr size_t kMediumFinalists = 2;
// The reductions that get every strategy after the ranking round.
inline constexpr size_t kSmallReductionsKept = 2;

// Zopfli's least cost: it resets about a megabyte of match tables for each
// round, so a call takes a few milliseconds however small its input, where
// libdeflate's strongest level takes microseconds. Up to this much filtered
// data in truecolour (15 x 15 pixels with alpha, 18 x 18 without) it gained
// 32 bytes over the whole benchmark corpus; a 16 x 16 icon with alpha gains
// about 10.
inline constexpr size_t kZopfliMinimum = 1024;
// Zopfli's time grows with its input times its rounds, at roughly 2 to 3 MB
// of input-rounds a second per worker: this keeps it near a fifth of a
// second per worker on the pictures that get more than one round.
inline constexpr size_t kZopfliWork = 512 * 1024;
inline constexpr int kZopfliMaxRounds = 15;
// With the block splitter, the next rounds reuse its cache of matches and
// cost about a sixth of the first each, for up to another percent.
inline constexpr int kSplitMinimumRounds = 3;
// Beyond kMedium the pieces are as large as kZopfliWork allows a single
// round for, yet one round loses to libdeflate's strongest level on large
// wallpapers by about 1 percent, and fifteen beat it by 0.4 to 2.
inline constexpr int kLargeZopfliRounds = 15;
// A picture screened on sampled rows gets zopfli only when its rounds make
// the best finalist's sample at least this much smaller than the strong
// level does: wallpapers whose whole gains 0.4 percent show 0.7 on the
// sample, gradients nothing.
inline constexpr double kZopfliProbeGain = 0.005;
// Zopfli's caches take about 30 bytes for each byte of the piece it works
// on: pieces of at most this size keep them near 60 MiB for two workers.
inline constexpr size_t kZopfliMaxPiece = 1024 * 1024;
// Each piece ends its blocks and pays their headers: on 5K screenshots
// pieces twice as large save 0.1 percent, for caches near 120 MiB.
inline constexpr size_t kLargeZopfliMaxPiece = 2 * 1024 * 1024;

// Trials that run at once share this much memory for their state (filtered
// rows, room for the stream, the compressor or zopfli's caches). On machines
// with many cores more workers would hold more at the peak of a large
// picture; two run at once in any case, as on the machine these settings
// were measured on, so heavy trials (zopfli's pieces, large pictures screened
// whole) keep that peak, while the light ones use every core.
inline constexpr size_t kParallelTrialMemory = 64 * 1024 * 1024;

// Brute-force filtering: each row's filter is the one whose fast deflate,
// after this much of the rows before it, is smallest.
inline constexpr size_t kBruteForceWindow = 16 * 1024;
inline constexpr int kBruteForceLevel = 1;

}  // namespace repng::png::settings
