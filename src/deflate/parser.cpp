#include "deflate/parser.h"

#include <algorithm>
#include <array>
#include <cassert>

// x86-64 processors with AVX2 or AVX-512 get the parse's hot loop in them,
// chosen when the program runs; the baseline build stays for every other
// processor.
// Not on Windows: there GCC keeps the stack 16-byte aligned, and spilling a
// 32- or 64-byte vector to it can fault.
#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__) && !defined(_WIN32)
#define REPNG_PARSE_VECTORS 1
#else
#define REPNG_PARSE_VECTORS 0
#endif
#if REPNG_PARSE_VECTORS
#include <immintrin.h>
#endif

namespace repng::deflate {
namespace {

// The longest match at pos, cut to the bytes left; length 0 when none.
Match LongestAt(const ParseInput& input, size_t pos) {
  const std::span<const Match> matches = input.cache->At(pos - input.cache_begin);
  if (matches.empty()) return Match{0, 0};
  const size_t left = input.last - pos;
  const Match longest = matches.back();
  if (longest.length <= left) return longest;
  if (left < static_cast<size_t>(kMinMatch)) return Match{0, 0};
  const auto length = static_cast<uint16_t>(left);
  return Match{length, static_cast<uint16_t>(DistanceFor(matches, length))};
}

}  // namespace

// A 3-byte match this far back rarely beats three literals.
constexpr uint32_t kFarForShortest = 4096;

void LazyParse(const ParseInput& input, std::vector<Symbol>* out) {
  size_t pos = input.first;
  while (pos < input.last) {
    const Match match = LongestAt(input, pos);
    if (match.length > kMinMatch || (match.length == kMinMatch && match.distance <= kFarForShortest)) {
      const Match next = pos + 1 < input.last ? LongestAt(input, pos + 1) : Match{0, 0};
      if (next.length <= match.length) {
        out->push_back(Symbol{match.length, match.distance});
        pos += match.length;
        continue;
      }
    }
    out->push_back(Symbol{input.data[pos], 0});
    ++pos;
  }
}

namespace {

// Lengths a vector relaxes at once, in each walk; the length costs hold the
// widest walk's number of entries past the longest for its masked lanes.
constexpr uint32_t kAvx2Lanes = 8;
constexpr uint32_t kAvx512Lanes = 16;
constexpr uint32_t kParseLanes = kAvx512Lanes;
// Lengths the AVX-512 walk keeps in registers, and the entries past the end
// that it reads.
constexpr uint32_t kNearLengths = 2 * kAvx512Lanes;
constexpr uint32_t kPastEnd = kNearLengths;

// Whether position i (from input.first) is one of a repeat's positions
// whose only match is the longest possible at the nearest distance, and
// the position 258 on is too: a long run or copied stretch, where trying
// every length at every position costs 258 steps a byte for nothing.
[[gnu::always_inline]] inline bool InsideLongRepeat(const ParseInput& input, size_t i, std::span<const Match> matches) {
  if (matches.size() != 1 || matches[0].length != kMaxMatch) return false;
  const size_t ahead = input.first + i + kMaxMatch;
  if (ahead + kMaxMatch > input.last) return false;
  const std::span<const Match> later = input.cache->At(ahead - input.cache_begin);
  return later.size() == 1 && later[0].length == kMaxMatch && later[0].distance == matches[0].distance;
}

// Inside a long repeat only the full-length match is tried: the shorter
// ones matter where the repeat ends, more than 258 bytes on, where every
// length is.
[[gnu::always_inline]] inline void RelaxFullLength(const CostModel& model, Match match, uint32_t here,
                                                   uint32_t* cost_from, uint32_t* step_from) {
  const uint32_t total = here + model.Distance(match.distance) + model.length[kMaxMatch];
  if (total < cost_from[kMaxMatch]) {
    cost_from[kMaxMatch] = total;
    step_from[kMaxMatch] = kMaxMatch | static_cast<uint32_t>(match.distance) << 16;
  }
}

// Every position's literal and match lengths, in order: cost[i] becomes
// the least cost of reaching i, and step[i] how. Written once, compiled for
// the baseline and AVX2 below (the AVX-512 walk keeps a window of its own);
// integers only, so every one finds the same.
template <typename RelaxLengths>
[[gnu::always_inline]] inline void FindShortestPaths(const ParseInput& input, const CostModel& model, uint32_t* cost,
                                                     uint32_t* step, RelaxLengths relax_lengths) {
  const size_t n = input.last - input.first;
  const uint8_t* bytes = input.data + input.first;
  for (size_t i = 0; i < n; ++i) {
    const uint32_t here = cost[i];
    const uint32_t literal = here + model.literal[bytes[i]];
    if (literal < cost[i + 1]) {
      cost[i + 1] = literal;
      step[i + 1] = bytes[i];
    }
    const std::span<const Match> matches = input.cache->At(input.first + i - input.cache_begin);
    const uint32_t left = static_cast<uint32_t>(n - i);
    if (InsideLongRepeat(input, i, matches)) {
      RelaxFullLength(model, matches[0], here, cost + i, step + i);
      continue;
    }
    uint32_t length = kMinMatch;
    uint32_t* cost_from_here = cost + i;
    uint32_t* step_from_here = step + i;
    for (const Match& match : matches) {
      const uint32_t reach = std::min<uint32_t>(match.length, left);
      const uint32_t base = here + model.Distance(match.distance);
      const uint32_t tag = static_cast<uint32_t>(match.distance) << 16;
      if (length <= reach) relax_lengths(cost_from_here, step_from_here, length, reach, base, tag);
      length = std::max(length, reach + 1);
      if (reach < match.length) break;
    }
  }
}

void FindShortestPathsBaseline(const ParseInput& input, const CostModel& model, uint32_t* cost, uint32_t* step) {
  // Branch-free, so that the compiler can vectorise it: long matches at
  // every position of long repeats make this the parse's hot loop.
  const auto relax = [&model](uint32_t* cost_from, uint32_t* step_from, uint32_t length, uint32_t reach,
                              uint32_t base, uint32_t tag) {
    for (; length <= reach; ++length) {
      const uint32_t total = base + model.length[length];
      const uint32_t old = cost_from[length];
      const uint32_t better = 0u - static_cast<uint32_t>(total < old);
      cost_from[length] = (total & better) | (old & ~better);
      step_from[length] = ((length | tag) & better) | (step_from[length] & ~better);
    }
  };
  FindShortestPaths(input, model, cost, step, relax);
}

#if REPNG_PARSE_VECTORS
// The model's length costs with kParseLanes entries past the longest, for
// the vectors that read beyond a match's reach.
using PaddedLengthCosts = std::array<uint32_t, kMaxMatch + 1 + kParseLanes>;
PaddedLengthCosts PadLengthCosts(const CostModel& model) {
  PaddedLengthCosts padded{};
  std::copy(model.length.begin(), model.length.end(), padded.begin());
  return padded;
}

// Eight lengths a vector, unsigned minimums, and the lanes past a match's
// reach masked off instead of a scalar remainder after every match.
struct RelaxLengthsAvx2 {
  const uint32_t* length_cost;  // kParseLanes entries past the longest length

  [[gnu::target("avx2")]] void operator()(uint32_t* cost_from, uint32_t* step_from, uint32_t length, uint32_t reach,
                                          uint32_t base, uint32_t tag) const {
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i bases = _mm256_set1_epi32(static_cast<int>(base));
    const __m256i tags = _mm256_set1_epi32(static_cast<int>(tag));
    const __m256i past_reach = _mm256_set1_epi32(static_cast<int>(reach + 1));
    for (; length <= reach; length += kAvx2Lanes) {
      const __m256i lengths = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(length)), lanes);
      const __m256i total =
          _mm256_add_epi32(bases, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(length_cost + length)));
      auto* cost_at = reinterpret_cast<__m256i*>(cost_from + length);
      auto* step_at = reinterpret_cast<__m256i*>(step_from + length);
      const __m256i old = _mm256_loadu_si256(cost_at);
      // total < old, unsigned: their minimum is not old.
      const __m256i not_better = _mm256_cmpeq_epi32(_mm256_min_epu32(total, old), old);
      const __m256i better = _mm256_andnot_si256(not_better, _mm256_cmpgt_epi32(past_reach, lengths));
      if (_mm256_testz_si256(better, better)) continue;
      _mm256_storeu_si256(cost_at, _mm256_blendv_epi8(old, total, better));
      const __m256i steps = _mm256_or_si256(lengths, tags);
      _mm256_storeu_si256(step_at, _mm256_blendv_epi8(_mm256_loadu_si256(step_at), steps, better));
    }
  }
};

[[gnu::target("avx2")]] void FindShortestPathsAvx2(const ParseInput& input, const CostModel& model, uint32_t* cost,
                                                   uint32_t* step) {
  const PaddedLengthCosts length_cost = PadLengthCosts(model);
  FindShortestPaths(input, model, cost, step, RelaxLengthsAvx2{length_cost.data()});
}

// Sixteen lengths a vector; the comparison yields a mask, and only the
// lanes it sets are stored, so the steps need not be read back. Only the
// last vector of a match is masked to its reach.
struct RelaxLengthsAvx512 {
  const uint32_t* length_cost;  // kParseLanes entries past the longest length

  [[gnu::target("avx512f")]] void operator()(uint32_t* cost_from, uint32_t* step_from, uint32_t length,
                                             uint32_t reach, uint32_t base, uint32_t tag) const {
    const __m512i bases = _mm512_set1_epi32(static_cast<int>(base));
    const __m512i tags = _mm512_set1_epi32(static_cast<int>(tag));
    for (; length + kAvx512Lanes - 1 <= reach; length += kAvx512Lanes) {
      Relax(cost_from, step_from, length, 0xFFFF, bases, tags);
    }
    if (length <= reach) {
      Relax(cost_from, step_from, length, static_cast<__mmask16>((2u << (reach - length)) - 1), bases, tags);
    }
  }

  [[gnu::target("avx512f")]] void Relax(uint32_t* cost_from, uint32_t* step_from, uint32_t length, __mmask16 in_reach,
                                        __m512i bases, __m512i tags) const {
    const __m512i total = _mm512_add_epi32(bases, _mm512_loadu_si512(length_cost + length));
    const __mmask16 better = _mm512_mask_cmplt_epu32_mask(in_reach, total, _mm512_loadu_si512(cost_from + length));
    if (better == 0) return;
    _mm512_mask_storeu_epi32(cost_from + length, better, total);
    const __m512i lanes = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const __m512i lengths = _mm512_add_epi32(_mm512_set1_epi32(static_cast<int>(length)), lanes);
    _mm512_mask_storeu_epi32(step_from + length, better, _mm512_or_si512(lengths, tags));
  }
};

// Lanes 1..15 of low, then lane 0 of high. (The unmasked intrinsic starts
// from an undefined vector, which GCC 12 warns of.)
[[gnu::target("avx512f")]] inline __m512i SlideOneLane(__m512i low, __m512i high) {
  return _mm512_mask_alignr_epi32(low, 0xFFFF, high, low, 1);
}

// Where total, in the lanes of `lanes`, is below cost: cost takes it, and
// step takes steps.
[[gnu::target("avx512f")]] inline void RelaxLanes(__m512i& cost, __m512i& step, __m512i total, __m512i steps,
                                                  __mmask16 lanes) {
  const __mmask16 better = _mm512_mask_cmplt_epu32_mask(lanes, total, cost);
  cost = _mm512_mask_mov_epi32(cost, better, total);
  step = _mm512_mask_mov_epi32(step, better, steps);
}

// The costs and steps of the next kNearLengths positions stay in four
// registers, lane k holding length k's, and slide one lane a position:
// short matches relax them without a store and a reload. Longer lengths go
// to memory as in the other walks, and a position enters the window once
// every length that reaches it from outside has been tried. The comparisons
// are the other walks', in the same order.
[[gnu::target("avx512f")]] void FindShortestPathsAvx512(const ParseInput& input, const CostModel& model,
                                                        uint32_t* cost, uint32_t* step) {
  const PaddedLengthCosts length_cost = PadLengthCosts(model);
  const RelaxLengthsAvx512 relax_far{length_cost.data()};
  const size_t n = input.last - input.first;
  const uint8_t* bytes = input.data + input.first;
  const __m512i lanes_low = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  const __m512i lanes_high = _mm512_add_epi32(lanes_low, _mm512_set1_epi32(kAvx512Lanes));
  const __m512i length_cost_low = _mm512_loadu_si512(length_cost.data());
  const __m512i length_cost_high = _mm512_loadu_si512(length_cost.data() + kAvx512Lanes);
  __m512i cost_low = _mm512_loadu_si512(cost);
  __m512i cost_high = _mm512_loadu_si512(cost + kAvx512Lanes);
  __m512i step_low = _mm512_loadu_si512(step);
  __m512i step_high = _mm512_loadu_si512(step + kAvx512Lanes);
  // Lanes from..to of a window half; from <= to.
  const auto lane_mask = [](uint32_t from, uint32_t to) {
    return static_cast<__mmask16>(((2u << to) - 1) & ~((1u << from) - 1));
  };
  for (size_t i = 0; i < n; ++i) {
    const uint32_t here = static_cast<uint32_t>(_mm512_cvtsi512_si32(cost_low));
    const __m512i heres = _mm512_maskz_permutexvar_epi32(0xFFFF, _mm512_setzero_si512(), cost_low);
    const __m512i literal = _mm512_add_epi32(heres, _mm512_set1_epi32(static_cast<int>(model.literal[bytes[i]])));
    RelaxLanes(cost_low, step_low, literal, _mm512_set1_epi32(bytes[i]), 0x2);
    const std::span<const Match> matches = input.cache->At(input.first + i - input.cache_begin);
    const uint32_t left = static_cast<uint32_t>(n - i);
    if (InsideLongRepeat(input, i, matches)) {
      RelaxFullLength(model, matches[0], here, cost + i, step + i);
    } else {
      uint32_t length = kMinMatch;
      for (const Match& match : matches) {
        const uint32_t reach = std::min<uint32_t>(match.length, left);
        if (length <= reach) {
          const uint32_t distance_cost = model.Distance(match.distance);
          const uint32_t tag = static_cast<uint32_t>(match.distance) << 16;
          const __m512i bases = _mm512_add_epi32(heres, _mm512_set1_epi32(static_cast<int>(distance_cost)));
          const __m512i tags = _mm512_set1_epi32(static_cast<int>(tag));
          if (length < kAvx512Lanes) {
            RelaxLanes(cost_low, step_low, _mm512_add_epi32(bases, length_cost_low), _mm512_or_si512(lanes_low, tags),
                       lane_mask(length, std::min(reach, kAvx512Lanes - 1)));
          }
          if (reach >= kAvx512Lanes && length < kNearLengths) {
            RelaxLanes(cost_high, step_high, _mm512_add_epi32(bases, length_cost_high),
                       _mm512_or_si512(lanes_high, tags),
                       lane_mask(std::max(length, kAvx512Lanes) - kAvx512Lanes,
                                 std::min(reach, kNearLengths - 1) - kAvx512Lanes));
          }
          if (reach >= kNearLengths) {
            relax_far(cost + i, step + i, std::max(length, kNearLengths), reach, here + distance_cost, tag);
          }
        }
        length = std::max(length, reach + 1);
        if (reach < match.length) break;
      }
    }
    step[i] = static_cast<uint32_t>(_mm512_cvtsi512_si32(step_low));
    cost_low = SlideOneLane(cost_low, cost_high);
    step_low = SlideOneLane(step_low, step_high);
    cost_high = SlideOneLane(cost_high, _mm512_set1_epi32(static_cast<int>(cost[i + kNearLengths])));
    step_high = SlideOneLane(step_high, _mm512_set1_epi32(static_cast<int>(step[i + kNearLengths])));
  }
  step[n] = static_cast<uint32_t>(_mm512_cvtsi512_si32(step_low));
}

bool HasAvx2() {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  return avx2;
}

bool HasAvx512() {
  static const bool avx512 = __builtin_cpu_supports("avx512f");
  return avx512;
}
#endif

}  // namespace

void OptimalParser::Parse(const ParseInput& input, const CostModel& model, std::vector<Symbol>* out) {
  const size_t n = input.last - input.first;
  // A byte costs at most a literal of -log2(1 / (n + 1)) bits, so a path to
  // the end stays below 2^32 for the largest segment.
  assert(n <= (size_t{4} << 20));
  cost_.assign(n + 1 + kPastEnd, UINT32_MAX);
  step_.resize(n + 1 + kPastEnd);
  cost_[0] = 0;
  auto find_shortest_paths = FindShortestPathsBaseline;
#if REPNG_PARSE_VECTORS
  if (vectors_ != Vectors::kBaseline && HasAvx2()) find_shortest_paths = FindShortestPathsAvx2;
  if (vectors_ == Vectors::kWidest && HasAvx512()) find_shortest_paths = FindShortestPathsAvx512;
#endif
  find_shortest_paths(input, model, cost_.data(), step_.data());
  const size_t first_new = out->size();
  for (size_t pos = n; pos > 0;) {
    const Symbol symbol{static_cast<uint16_t>(step_[pos] & 0xFFFF), static_cast<uint16_t>(step_[pos] >> 16)};
    out->push_back(symbol);
    pos -= symbol.Length();
  }
  std::reverse(out->begin() + static_cast<ptrdiff_t>(first_new), out->end());
}

}  // namespace repng::deflate
