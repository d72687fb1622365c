#include "deflate/block_code.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <span>

#include "deflate/huffman.h"

namespace repng::deflate {
namespace {

constexpr std::array<uint8_t, 19> kCodeLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};
constexpr int kMaxSequence = kLitLenSymbols + kDistSymbols;

struct Sequence {
  std::array<uint8_t, kMaxSequence> lengths;
  int size = 0;
};

struct Tokens {
  std::array<HeaderToken, kMaxSequence> items;
  int count = 0;
  void Emit(int symbol, int extra) {
    items[count++] = HeaderToken{static_cast<uint8_t>(symbol), static_cast<uint8_t>(extra)};
  }
  void EmitTimes(int symbol, int times) {
    for (; times > 0; --times) Emit(symbol, 0);
  }
};

// What a header plan sends, counted by code-length symbol.
struct TokenCounts {
  std::array<uint32_t, kCodeLengthSymbols> counts{};
  void Emit(int symbol, int /*extra*/) { ++counts[symbol]; }
  void EmitTimes(int symbol, int times) { counts[symbol] += static_cast<uint32_t>(times); }
};

// Calls on_run(value, length) for each run of equal lengths in sequence.
// A run's end is found eight lengths at a time: most runs are short, and
// a loop that stops on the first unequal byte mispredicts at every run.
template <typename OnRun>
void ForEachRun(const Sequence& sequence, OnRun on_run) {
  const uint8_t* lengths = sequence.lengths.data();
  for (int i = 0; i < sequence.size;) {
    const uint8_t value = lengths[i];
    const uint64_t repeated = value * uint64_t{0x0101010101010101};
    int run = 1;
    for (;;) {
      if (i + run + 8 > sequence.size) {
        while (i + run < sequence.size && lengths[i + run] == value) ++run;
        break;
      }
      uint64_t word;
      std::memcpy(&word, lengths + i + run, 8);
      const uint64_t differ = word ^ repeated;
      if (differ != 0) {
        if constexpr (std::endian::native == std::endian::little) {
          run += std::countr_zero(differ) / 8;
        } else {
          run += std::countl_zero(differ) / 8;
        }
        break;
      }
      run += 8;
    }
    on_run(value, run);
    i += run;
  }
}

// Which run-length codes a greedy plan may use: bit 0 for code 16, bit 1
// for 17, bit 2 for 18.
using RunCodes = int;

// A run of equal lengths cut greedily into the allowed repeat codes; sink
// takes each token (a plan to send, or just its counts).
template <typename Sink>
void GreedyRun(uint8_t value, int run, RunCodes codes, Sink* sink) {
  const bool use16 = codes & 1, use17 = codes & 2, use18 = codes & 4;
  if (value == 0) {
    while (run >= 3 && (use17 || use18)) {
      if (use18 && run >= 11) {
        const int taken = std::min(run, 138);
        sink->Emit(18, taken - 11);
        run -= taken;
      } else if (use17) {
        const int taken = std::min(run, 10);
        sink->Emit(17, taken - 3);
        run -= taken;
      } else {
        break;
      }
    }
  }
  if (use16 && run >= 4) {
    sink->Emit(value, 0);
    --run;
    while (run >= 3) {
      const int taken = std::min(run, 6);
      sink->Emit(16, taken - 3);
      run -= taken;
    }
  }
  sink->EmitTimes(value, run);
}

// Every run chosen by shortest path over the given cost of each code-length
// symbol (its extra bits included).
void CheapestTokens(const Sequence& sequence, const std::array<uint32_t, 19>& cost, Tokens* tokens) {
  const int n = sequence.size;
  std::array<uint32_t, kMaxSequence + 1> best;
  std::array<uint16_t, kMaxSequence + 1> same;  // equal lengths from i on
  std::array<HeaderToken, kMaxSequence + 1> choice;
  std::array<uint8_t, kMaxSequence + 1> step;
  best[n] = 0;
  for (int i = n - 1; i >= 0; --i) {
    const uint8_t value = sequence.lengths[i];
    same[i] = static_cast<uint16_t>(i + 1 < n && sequence.lengths[i + 1] == value ? same[i + 1] + 1 : 1);
    best[i] = cost[value] + best[i + 1];
    choice[i] = HeaderToken{value, 0};
    step[i] = 1;
    auto consider = [&](int symbol, int run, int extra) {
      const uint32_t total = cost[symbol] + best[i + run];
      if (total < best[i]) {
        best[i] = total;
        choice[i] = HeaderToken{static_cast<uint8_t>(symbol), static_cast<uint8_t>(extra)};
        step[i] = static_cast<uint8_t>(run);
      }
    };
    if (value == 0) {
      for (int run = 3; run <= std::min<int>(10, same[i]); ++run) consider(17, run, run - 3);
      for (int run = 11; run <= std::min<int>(138, same[i]); ++run) consider(18, run, run - 11);
    }
    if (i > 0 && sequence.lengths[i - 1] == value) {
      for (int run = 3; run <= std::min<int>(6, same[i]); ++run) consider(16, run, run - 3);
    }
  }
  tokens->count = 0;
  for (int i = 0; i < n; i += step[i]) tokens->items[tokens->count++] = choice[i];
}

// Builds the code-length code for a plan's counts and returns the header's bits.
uint64_t PriceTokens(const std::array<uint32_t, kCodeLengthSymbols>& counts, std::array<uint8_t, 19>* lengths,
                     int* length_count) {
  LimitedCodeLengths(counts.data(), 19, kMaxCodeLengthCodeLength, lengths->data());
  int count = 19;
  while (count > 4 && (*lengths)[kCodeLengthOrder[count - 1]] == 0) --count;
  *length_count = count;
  uint64_t bits = 5 + 5 + 4 + 3 * static_cast<uint64_t>(count);
  for (int s = 0; s < 19; ++s) bits += static_cast<uint64_t>(counts[s]) * ((*lengths)[s] + kCodeLengthExtra[s]);
  return bits;
}

// The code lengths for counts (end of block counted once) and how many of
// each the header sends.
void FindCodeLengths(const Histogram& counts, int max_length, uint8_t* litlen_lengths, uint8_t* dist_lengths,
                     int* litlen_count, int* dist_count) {
  std::array<uint32_t, kLitLenSymbols> litlen = counts.litlen;
  litlen[kEndOfBlock] = 1;
  LimitedCodeLengths(litlen.data(), kLitLenSymbols, max_length, litlen_lengths);
  LimitedCodeLengths(counts.dist.data(), kDistSymbols, max_length, dist_lengths);
  *litlen_count = kLitLenSymbols;
  while (*litlen_count > 257 && litlen_lengths[*litlen_count - 1] == 0) --*litlen_count;
  *dist_count = kDistSymbols;
  while (*dist_count > 1 && dist_lengths[*dist_count - 1] == 0) --*dist_count;
}

void FillSequence(const uint8_t* litlen, int litlen_count, const uint8_t* dist, int dist_count, Sequence* sequence) {
  std::copy(litlen, litlen + litlen_count, sequence->lengths.begin());
  std::copy(dist, dist + dist_count, sequence->lengths.begin() + litlen_count);
  sequence->size = litlen_count + dist_count;
}

// Every run code, or all but the repeat of a nonzero length: the other
// six combinations almost never win, and the quick plan runs for every
// split the splitter probes.
constexpr std::array<RunCodes, 2> kQuickCodes = {7, 6};
constexpr std::array<RunCodes, 8> kAllCodes = {0, 1, 2, 3, 4, 5, 6, 7};

// The counts of each greedy plan, in one pass over the runs.
template <size_t kPlans>
std::array<TokenCounts, kPlans> CountGreedyPlans(const Sequence& sequence, const std::array<RunCodes, kPlans>& plans) {
  std::array<TokenCounts, kPlans> counts;
  ForEachRun(sequence, [&](uint8_t value, int run) {
    for (size_t p = 0; p < kPlans; ++p) GreedyRun(value, run, plans[p], &counts[p]);
  });
  return counts;
}

uint64_t QuickHeaderBits(const Sequence& sequence) {
  uint64_t best = UINT64_MAX;
  std::array<uint8_t, 19> lengths;
  int length_count;
  for (const TokenCounts& counts : CountGreedyPlans(sequence, kQuickCodes)) {
    best = std::min(best, PriceTokens(counts.counts, &lengths, &length_count));
  }
  return best;
}

TokenCounts CountTokens(const Tokens& tokens) {
  TokenCounts counts;
  for (int t = 0; t < tokens.count; ++t) counts.Emit(tokens.items[t].symbol, 0);
  return counts;
}

void PlanHeader(HeaderSearch search, DynamicCode* code) {
  Sequence sequence;
  FillSequence(code->litlen_lengths.data(), code->litlen_count, code->dist_lengths.data(), code->dist_count, &sequence);

  std::array<uint8_t, 19> lengths{};
  int length_count = 0;
  uint64_t best_bits = UINT64_MAX;
  RunCodes best_codes = 0;
  auto keep_if_smaller = [&](const TokenCounts& counts) {
    const uint64_t bits = PriceTokens(counts.counts, &lengths, &length_count);
    if (bits >= best_bits) return false;
    best_bits = bits;
    code->code_length_lengths = lengths;
    code->code_length_count = length_count;
    return true;
  };
  auto try_plans = [&](const auto& plans) {
    const auto counts = CountGreedyPlans(sequence, plans);
    for (size_t p = 0; p < plans.size(); ++p) {
      if (keep_if_smaller(counts[p])) best_codes = plans[p];
    }
  };
  if (search == HeaderSearch::kQuick) {
    try_plans(kQuickCodes);
  } else {
    try_plans(kAllCodes);
  }
  Tokens best_tokens;
  ForEachRun(sequence, [&](uint8_t value, int run) { GreedyRun(value, run, best_codes, &best_tokens); });
  if (search == HeaderSearch::kThorough) {
    Tokens tokens;
    for (int round = 0; round < 4; ++round) {
      std::array<uint32_t, 19> cost;
      for (int s = 0; s < 19; ++s) {
        const uint8_t length = code->code_length_lengths[s];
        cost[s] = (length == 0 ? kMaxCodeLengthCodeLength : length) + kCodeLengthExtra[s];
      }
      CheapestTokens(sequence, cost, &tokens);
      if (!keep_if_smaller(CountTokens(tokens))) break;
      best_tokens = tokens;
    }
  }
  std::copy(best_tokens.items.begin(), best_tokens.items.begin() + best_tokens.count, code->tokens.begin());
  code->token_count = best_tokens.count;
  code->header_bits = best_bits;
}

// Evens out counts along stretches of near-equal values (each within
// percent of the stretch's first, or within least of it) so that the code
// lengths form runs the header sends cheaply. Runs that are already long
// are left alone. With least above 0, unused symbols among rare ones join
// their neighbours' stretch: a code for a symbol never sent costs nothing
// but can save the header a break in a run.
void SmoothCounts(uint32_t* counts, int n, uint32_t percent, uint32_t least) {
  int end = n;
  while (end > 0 && counts[end - 1] == 0) --end;
  std::array<bool, kLitLenSymbols> keep{};
  for (int i = 0; i < end;) {
    int j = i;
    while (j < end && counts[j] == counts[i]) ++j;
    if (j - i >= (counts[i] == 0 ? 5 : 7)) std::fill(keep.begin() + i, keep.begin() + j, true);
    i = j;
  }
  int start = 0;
  uint64_t sum = 0;
  for (int i = 0; i <= end; ++i) {
    const uint64_t first = counts[start];
    const uint64_t value = i < end ? counts[i] : 0;
    const uint64_t slack = std::max<uint64_t>(first * percent / 100, std::max(least, 1u));
    const bool joins = i < end && !keep[i] && !keep[start] && (least > 0 || (value == 0) == (first == 0)) &&
                       value + slack >= first && value <= first + slack;
    if (joins && i > start) {
      sum += value;
      continue;
    }
    if (i - start >= 4 && !keep[start]) {
      const auto average = static_cast<uint32_t>(std::max<uint64_t>((sum + (i - start) / 2) / (i - start), sum == 0 ? 0 : 1));
      std::fill(counts + start, counts + i, average);
    }
    start = i;
    sum = value;
  }
}

}  // namespace

void BuildSmallestDynamicCode(const Histogram& counts, DynamicCode* code) {
  BuildDynamicCode(counts, HeaderSearch::kThorough, code);
  uint64_t best = DynamicBlockBits(counts, *code);
  struct Smoothing {
    uint32_t percent;
    uint32_t least;
  };
  for (const Smoothing smoothing : {Smoothing{10, 0}, Smoothing{30, 0}, Smoothing{60, 0}, Smoothing{10, 2},
                                    Smoothing{20, 4}, Smoothing{40, 8}}) {
    Histogram smoothed = counts;
    SmoothCounts(smoothed.litlen.data(), kLitLenSymbols, smoothing.percent, smoothing.least);
    SmoothCounts(smoothed.dist.data(), kDistSymbols, smoothing.percent, smoothing.least);
    DynamicCode candidate;
    BuildDynamicCode(smoothed, HeaderSearch::kThorough, &candidate);
    const uint64_t bits = DynamicBlockBits(counts, candidate);
    if (bits < best) {
      best = bits;
      *code = candidate;
    }
  }
}

void Histogram::Add(const Histogram& other) {
  for (int s = 0; s < kLitLenSymbols; ++s) litlen[s] += other.litlen[s];
  for (int s = 0; s < kDistSymbols; ++s) dist[s] += other.dist[s];
}

void Histogram::Subtract(const Histogram& other) {
  for (int s = 0; s < kLitLenSymbols; ++s) litlen[s] -= other.litlen[s];
  for (int s = 0; s < kDistSymbols; ++s) dist[s] -= other.dist[s];
}

Histogram CountSymbols(std::span<const Symbol> symbols) {
  Histogram histogram;
  for (const Symbol symbol : symbols) histogram.Add(symbol);
  return histogram;
}

void BuildDynamicCode(const Histogram& counts, HeaderSearch search, DynamicCode* code, int max_length) {
  FindCodeLengths(counts, max_length, code->litlen_lengths.data(), code->dist_lengths.data(), &code->litlen_count,
                  &code->dist_count);
  PlanHeader(search, code);
}

uint64_t SymbolBits(const Histogram& counts, const uint8_t* litlen_lengths, const uint8_t* dist_lengths) {
  // Without branches on unused symbols, so that it runs in vectors.
  uint64_t bits = litlen_lengths[kEndOfBlock];
  for (int s = 0; s < 257; ++s) bits += static_cast<uint64_t>(counts.litlen[s]) * litlen_lengths[s];
  for (int s = 257; s < kLitLenSymbols; ++s) {
    bits += static_cast<uint64_t>(counts.litlen[s]) * (litlen_lengths[s] + kLengthExtra[s - 257]);
  }
  for (int s = 0; s < kDistSymbols; ++s) {
    bits += static_cast<uint64_t>(counts.dist[s]) * (dist_lengths[s] + kDistExtra[s]);
  }
  return bits;
}

uint64_t DynamicBlockBits(const Histogram& counts, const DynamicCode& code) {
  return 3 + code.header_bits + SymbolBits(counts, code.litlen_lengths.data(), code.dist_lengths.data());
}

const std::array<uint8_t, 288>& FixedLitLenLengths() {
  static constexpr std::array<uint8_t, 288> kLengths = [] {
    std::array<uint8_t, 288> lengths{};
    for (int s = 0; s < 288; ++s) lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
    return lengths;
  }();
  return kLengths;
}

const std::array<uint8_t, 32>& FixedDistLengths() {
  static constexpr std::array<uint8_t, 32> kLengths = [] {
    std::array<uint8_t, 32> lengths{};
    lengths.fill(5);
    return lengths;
  }();
  return kLengths;
}

uint64_t FixedBlockBits(const Histogram& counts) {
  return 3 + SymbolBits(counts, FixedLitLenLengths().data(), FixedDistLengths().data());
}

uint64_t StoredBlockBits(size_t bytes, uint64_t start_bit) {
  uint64_t position = start_bit;
  size_t left = bytes;
  do {
    const size_t piece = std::min<size_t>(left, kMaxStoredLength);
    position += 3;
    position += (8 - position % 8) % 8;
    position += 32 + 8 * static_cast<uint64_t>(piece);
    left -= piece;
  } while (left > 0);
  return position - start_bit;
}

namespace {

// The block's bits under the quick code for code_counts: its header
// planned and priced, never written.
uint64_t QuickDynamicBits(const Histogram& counts, const Histogram& code_counts) {
  std::array<uint8_t, kLitLenSymbols> litlen_lengths;
  std::array<uint8_t, kDistSymbols> dist_lengths;
  int litlen_count, dist_count;
  FindCodeLengths(code_counts, kMaxCodeLength, litlen_lengths.data(), dist_lengths.data(), &litlen_count, &dist_count);
  Sequence sequence;
  FillSequence(litlen_lengths.data(), litlen_count, dist_lengths.data(), dist_count, &sequence);
  return 3 + QuickHeaderBits(sequence) + SymbolBits(counts, litlen_lengths.data(), dist_lengths.data());
}

}  // namespace

uint64_t EstimateBlockBits(const Histogram& counts, size_t bytes) {
  // The writer fills gaps among rare symbols to shorten the header; one
  // such code here keeps split and round choices from overpricing headers.
  Histogram smoothed = counts;
  SmoothCounts(smoothed.litlen.data(), kLitLenSymbols, 20, 4);
  SmoothCounts(smoothed.dist.data(), kDistSymbols, 20, 4);
  // Starting at bit 6 a stored block pads the most.
  return std::min({QuickDynamicBits(counts, counts), QuickDynamicBits(counts, smoothed), FixedBlockBits(counts),
                   StoredBlockBits(bytes, 6)});
}

}  // namespace repng::deflate
