// Every setting of the encoder's search in one place: the sizes that part the
// tiers, the deflate levels and efforts, and the numbers of finalists.
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
// At most this, a larger picture may be drawn (text, interfaces, flat
// artwork), where the optimal pass gains 2 to 5 percent. Photographs lie
// above, and get it only up to kLarge: beyond, it gains a tenth of a percent
// on them for several times the time of the rest of their search.
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

// Screening levels: level 6 ranks small pictures as the final pass does.
// Drawings up to kLarge rank nearly as well at level 9 as at the strongest
// level (each category's bytes within 0.1 percent) for a third to a half
// less processor time; only the strongest level ranks the strategies of
// larger drawings right.
inline constexpr int kSmallScreeningLevel = 6;
inline constexpr int kDrawnScreeningLevel = 9;
inline constexpr int kQuickScreeningLevel = 1;
// libdeflate's strongest level: the final pass wherever time allows.
inline constexpr int kStrongestLevel = 12;
// Where the optimal pass follows, the strong pass ranks the finalists for it
// (its own stream seldom wins): level 10 ranks them as the strongest level
// does, each category's bytes within 0.05 percent, for a sixth less time.
inline constexpr int kRankingLevel = 10;
// Beyond kMedium level 8 ranks them nearly as level 10 does, in a fraction
// of its time, which on artwork's large drawings was a tenth of the file's:
// the same finalists on artwork and the screenshots, one other on the
// wallpapers (0.8 percent smaller), 4 bytes more on mixed.
inline constexpr int kLargeRankingLevel = 8;
// Final levels of the quick searches on large noisy pictures, whose JPEG
// the PNG almost never beats.
inline constexpr int kNoisyFinalLevel = 9;
inline constexpr int kHugeFinalLevel = 9;
// The strong pass compresses chunks of about this size on every worker at
// once: one libdeflate run over a whole large photograph held one core for
// a second while the others waited. Pictures of up to 1.5 times it keep one
// stream. The wallpapers' two grainy ones that are split (7.4 and 6.7 MB)
// took level 10 whole, for time; at the strongest level in two chunks they
// are 7,635 bytes smaller and done a fifth sooner on two cores, for a
// quarter more processor time. Chunks of 2 MiB cost one and a half to two
// times the bytes that these cost.
inline constexpr size_t kStrongPassChunk = 4 * 1024 * 1024;

// Finalists: the best screened trials that get the strong pass. Small
// pictures are screened whole at level 6, whose best trial the optimal pass
// takes as well as the best of three ranked at level 10 (on icons 6 bytes
// more, on mixed 34 fewer). Larger ones are screened on sampled rows at
// level 9, whose order the ranking must mend: with one finalist a 512 x 512
// icon came out a quarter larger.
inline constexpr size_t kSmallFinalists = 1;
inline constexpr size_t kMediumFinalists = 2;
// The reductions that get every strategy after the ranking round; brute
// force, which costs more than the others together, runs on the best of
// them only. On the second it won no picture of the benchmark's small ones,
// and skipping it there took 7 to 9 percent of the mixed pictures' time.
inline constexpr size_t kSmallReductionsKept = 2;
inline constexpr size_t kBruteForceReductions = 1;

// The optimal pass: our own deflate at this effort comes within 0.04 to 0.2
// percent of zopfli's bytes after 15 rounds, in a twentieth to a tenth of
// its processor time (docs/deflate_benchmark.md).
inline constexpr int kOptimalEffort = 5;
// Segments of an eighth of a MiB cost 0.09 percent over quarter-MiB ones on
// icons and 0.05 on mixed (which cost 0.04 percent over 1 MiB ones), and
// let a picture of 192 KiB use two cores and one of 1 MiB eight: 5 and 9
// percent less wall time on icons and mixed.
inline constexpr size_t kOptimalSegment = 128 * 1024;
// Beyond kMedium, on screenshots, the effort and segments above land within
// 0.1 percent of ECT -9's bytes, sometimes over: the next effort (fewer bytes
// than zopfli's 15 rounds everywhere) and segments of 2 MiB (fewer block
// ends, longer paths) keep the screenshots' subset 0.13 percent under them.
// Its first rounds keep a second chance: stopping at the first weak round
// took 8 percent off artwork's large drawings, but made a 5K wallpaper 0.17
// percent larger, to within 0.03 percent of ECT -9's bytes on the
// wallpapers' subset. The rounds after its second split start from a
// settled parse and stop at their first weak round.
inline constexpr int kLargeOptimalEffort = 6;
inline constexpr size_t kLargeOptimalSegment = 2 * 1024 * 1024;
// The quick pass replaces the strong pass on large photographs, whose one
// libdeflate stream ran on one core for three quarters of their time: this
// effort, in segments on every core, gives 0.2 percent fewer bytes than
// libdeflate's strongest level on the wallpapers' data for 1.6 times its
// processor time.
inline constexpr int kQuickPassEffort = 3;
inline constexpr size_t kQuickPassSegment = 1024 * 1024;
// A segment's memory, in either pass, for each byte of the segment: the
// match cache (up to 28), the match finder's tree and the costs of the paths.
inline constexpr size_t kOptimalBytesPerByte = 48;

// Trials that run at once share this much memory for their state (filtered
// rows, room for the stream, the compressor or the optimal pass's segment).
// On machines with many cores more workers would hold more at the peak of a
// large picture; two run at once in any case, as on the machine these
// settings were measured on, so heavy trials (the optimal pass's segments,
// large pictures screened whole) keep that peak, while the light ones use
// every core.
inline constexpr size_t kParallelTrialMemory = 64 * 1024 * 1024;

// Compressors done with are kept for the next ones of their level, up to
// this much memory (two workers' ranking and strong compressors and the
// light ones), while the pictures are of up to kMedium bytes: on the mixed
// pictures the first touch of new compressors' tables took 5 to 7 percent of
// the processor time. Beyond, none are kept, so that a large picture's peak
// is what it was without them.
inline constexpr size_t kIdleCompressorMemory = 48 * 1024 * 1024;
inline constexpr size_t kKeepIdleCompressorsUpTo = kMedium;

// Brute-force filtering: each row's filter is the one whose fast deflate,
// after this much of the rows before it, is smallest.
inline constexpr size_t kBruteForceWindow = 16 * 1024;
inline constexpr int kBruteForceLevel = 1;

}  // namespace repng::png::settings
