#include "deflate/parser.h"

#include <algorithm>
#include <cassert>

// x86-64 processors with AVX2 get the parse's hot loop in it, chosen when
// the program runs; the baseline build stays for every other processor.
// Not on Windows: there GCC keeps the stack 16-byte aligned, and spilling a
// 32-byte vector to it can fault.
#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__) && !defined(_WIN32)
#define REPNG_PARSE_AVX2 1
#else
#define REPNG_PARSE_AVX2 0
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

// Every position's literal and match lengths, in order: cost[i] becomes
// the least cost of reaching i, and step[i] how. Written once, compiled for
// each instruction set below; integers only, so every one finds the same.
[[gnu::always_inline]] inline void FindShortestPaths(const ParseInput& input, const CostModel& model, uint32_t* cost,
                                                     uint32_t* step) {
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
      // Only the full-length match: the shorter ones matter where the
      // repeat ends, more than 258 bytes on, where every length is tried.
      const uint32_t total = here + model.Distance(matches[0].distance) + model.length[kMaxMatch];
      if (total < cost[i + kMaxMatch]) {
        cost[i + kMaxMatch] = total;
        step[i + kMaxMatch] = kMaxMatch | static_cast<uint32_t>(matches[0].distance) << 16;
      }
      continue;
    }
    uint32_t length = kMinMatch;
    uint32_t* cost_from_here = cost + i;
    uint32_t* step_from_here = step + i;
    for (const Match& match : matches) {
      const uint32_t reach = std::min<uint32_t>(match.length, left);
      const uint32_t base = here + model.Distance(match.distance);
      const uint32_t tag = static_cast<uint32_t>(match.distance) << 16;
      // Branch-free, so that the compiler can vectorise it: long matches
      // at every position of long repeats make this the parse's hot loop.
      for (; length <= reach; ++length) {
        const uint32_t total = base + model.length[length];
        const uint32_t old = cost_from_here[length];
        const uint32_t better = 0u - static_cast<uint32_t>(total < old);
        cost_from_here[length] = (total & better) | (old & ~better);
        step_from_here[length] = ((length | tag) & better) | (step_from_here[length] & ~better);
      }
      if (reach < match.length) break;
    }
  }
}

void FindShortestPathsBaseline(const ParseInput& input, const CostModel& model, uint32_t* cost, uint32_t* step) {
  FindShortestPaths(input, model, cost, step);
}

#if REPNG_PARSE_AVX2
// Twice the lanes of the baseline's vectors, and unsigned minimums: about a
// sixth off the whole compression.
[[gnu::target("avx2")]] void FindShortestPathsAvx2(const ParseInput& input, const CostModel& model, uint32_t* cost,
                                                   uint32_t* step) {
  FindShortestPaths(input, model, cost, step);
}
#endif

}  // namespace

bool OptimalParser::WidestVectorsAvailable() {
#if REPNG_PARSE_AVX2
  static const bool avx2 = __builtin_cpu_supports("avx2");
  return avx2;
#else
  return false;
#endif
}

void OptimalParser::Parse(const ParseInput& input, const CostModel& model, std::vector<Symbol>* out) {
  const size_t n = input.last - input.first;
  // A byte costs at most a literal of -log2(1 / (n + 1)) bits, so a path to
  // the end stays below 2^32 for the largest segment.
  assert(n <= (size_t{4} << 20));
  cost_.assign(n + 1, UINT32_MAX);
  step_.resize(n + 1);
  cost_[0] = 0;
  auto find_shortest_paths = FindShortestPathsBaseline;
#if REPNG_PARSE_AVX2
  if (vectors_ == Vectors::kWidest && WidestVectorsAvailable()) find_shortest_paths = FindShortestPathsAvx2;
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
