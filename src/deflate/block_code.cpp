#include "deflate/block_code.h"

#include <algorithm>
#include <initializer_list>

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
};

// Runs of equal lengths cut into repeat codes, with some of them allowed.
void GreedyTokens(const Sequence& sequence, bool use16, bool use17, bool use18, Tokens* tokens) {
  tokens->count = 0;
  int i = 0;
  while (i < sequence.size) {
    const uint8_t value = sequence.lengths[i];
    int run = 1;
    while (i + run < sequence.size && sequence.lengths[i + run] == value) ++run;
    if (value == 0 && (use17 || use18)) {
      while (run >= 3) {
        int taken;
        if (use18 && run >= 11) {
          taken = std::min(run, 138);
          tokens->Emit(18, taken - 11);
        } else if (use17) {
          taken = std::min(run, 10);
          tokens->Emit(17, taken - 3);
        } else {
          break;
        }
        run -= taken;
        i += taken;
      }
    }
    if (use16 && run >= 4) {
      tokens->Emit(value, 0);
      --run;
      ++i;
      while (run >= 3) {
        const int taken = std::min(run, 6);
        tokens->Emit(16, taken - 3);
        run -= taken;
        i += taken;
      }
    }
    for (; run > 0; --run, ++i) tokens->Emit(value, 0);
  }
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

// Builds the code-length code for tokens and returns the header's bits.
uint64_t PriceTokens(const Tokens& tokens, std::array<uint8_t, 19>* lengths, int* length_count) {
  std::array<uint32_t, 19> counts{};
  for (int t = 0; t < tokens.count; ++t) ++counts[tokens.items[t].symbol];
  LimitedCodeLengths(counts.data(), 19, kMaxCodeLengthCodeLength, lengths->data());
  int count = 19;
  while (count > 4 && (*lengths)[kCodeLengthOrder[count - 1]] == 0) --count;
  *length_count = count;
  uint64_t bits = 5 + 5 + 4 + 3 * static_cast<uint64_t>(count);
  for (int s = 0; s < 19; ++s) bits += static_cast<uint64_t>(counts[s]) * ((*lengths)[s] + kCodeLengthExtra[s]);
  return bits;
}

void PlanHeader(HeaderSearch search, DynamicCode* code) {
  Sequence sequence;
  std::copy(code->litlen_lengths.begin(), code->litlen_lengths.begin() + code->litlen_count, sequence.lengths.begin());
  std::copy(code->dist_lengths.begin(), code->dist_lengths.begin() + code->dist_count,
            sequence.lengths.begin() + code->litlen_count);
  sequence.size = code->litlen_count + code->dist_count;

  Tokens tokens, best_tokens;
  std::array<uint8_t, 19> lengths{};
  int length_count = 0;
  uint64_t best_bits = UINT64_MAX;
  auto keep_if_smaller = [&] {
    const uint64_t bits = PriceTokens(tokens, &lengths, &length_count);
    if (bits >= best_bits) return false;
    best_bits = bits;
    best_tokens = tokens;
    code->code_length_lengths = lengths;
    code->code_length_count = length_count;
    return true;
  };
  // Every run code, or all but the repeat of a nonzero length: the other
  // six combinations almost never win, and the quick plan runs for every
  // split the splitter probes.
  const std::initializer_list<int> quick = {7, 6};
  const std::initializer_list<int> all = {0, 1, 2, 3, 4, 5, 6, 7};
  for (const int flags : search == HeaderSearch::kQuick ? quick : all) {
    GreedyTokens(sequence, flags & 1, flags & 2, flags & 4, &tokens);
    keep_if_smaller();
  }
  if (search == HeaderSearch::kThorough) {
    for (int round = 0; round < 4; ++round) {
      std::array<uint32_t, 19> cost;
      for (int s = 0; s < 19; ++s) {
        const uint8_t length = code->code_length_lengths[s];
        cost[s] = (length == 0 ? kMaxCodeLengthCodeLength : length) + kCodeLengthExtra[s];
      }
      CheapestTokens(sequence, cost, &tokens);
      if (!keep_if_smaller()) break;
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
  std::array<uint32_t, kLitLenSymbols> litlen = counts.litlen;
  litlen[kEndOfBlock] = 1;
  LimitedCodeLengths(litlen.data(), kLitLenSymbols, max_length, code->litlen_lengths.data());
  LimitedCodeLengths(counts.dist.data(), kDistSymbols, max_length, code->dist_lengths.data());
  code->litlen_count = kLitLenSymbols;
  while (code->litlen_count > 257 && code->litlen_lengths[code->litlen_count - 1] == 0) --code->litlen_count;
  code->dist_count = kDistSymbols;
  while (code->dist_count > 1 && code->dist_lengths[code->dist_count - 1] == 0) --code->dist_count;
  PlanHeader(search, code);
}

uint64_t SymbolBits(const Histogram& counts, const uint8_t* litlen_lengths, const uint8_t* dist_lengths) {
  uint64_t bits = litlen_lengths[kEndOfBlock];
  for (int s = 0; s < kLitLenSymbols; ++s) {
    if (counts.litlen[s] != 0) {
      bits += static_cast<uint64_t>(counts.litlen[s]) * (litlen_lengths[s] + LitLenExtraBits(s));
    }
  }
  for (int s = 0; s < kDistSymbols; ++s) {
    if (counts.dist[s] != 0) bits += static_cast<uint64_t>(counts.dist[s]) * (dist_lengths[s] + kDistExtra[s]);
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

uint64_t EstimateBlockBits(const Histogram& counts, size_t bytes) {
  DynamicCode code;
  BuildDynamicCode(counts, HeaderSearch::kQuick, &code);
  // The writer fills gaps among rare symbols to shorten the header; one
  // such code here keeps split and round choices from overpricing headers.
  Histogram smoothed = counts;
  SmoothCounts(smoothed.litlen.data(), kLitLenSymbols, 20, 4);
  SmoothCounts(smoothed.dist.data(), kDistSymbols, 20, 4);
  DynamicCode filled;
  BuildDynamicCode(smoothed, HeaderSearch::kQuick, &filled);
  // Starting at bit 6 a stored block pads the most.
  return std::min({DynamicBlockBits(counts, code), DynamicBlockBits(counts, filled), FixedBlockBits(counts),
                   StoredBlockBits(bytes, 6)});
}

}  // namespace repng::deflate
