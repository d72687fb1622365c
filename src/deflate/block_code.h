// The codes of one block: symbol counts, the dynamic code built from them
// with its header, and the exact size of the block as stored, fixed or
// dynamic.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "deflate/symbols.h"

namespace repng::deflate {

struct Histogram {
  std::array<uint32_t, kLitLenSymbols> litlen{};
  std::array<uint32_t, kDistSymbols> dist{};

  void Add(Symbol symbol) {
    if (symbol.IsLiteral()) {
      ++litlen[symbol.value];
    } else {
      ++litlen[LengthSymbol(symbol.value)];
      ++dist[DistSlot(symbol.distance)];
    }
  }
  void Add(const Histogram& other);
  void Subtract(const Histogram& other);
};

Histogram CountSymbols(std::span<const Symbol> symbols);

// One token of the header's code-length sequence: a code-length symbol
// (0..18) and the value of its extra bits.
struct HeaderToken {
  uint8_t symbol;
  uint8_t extra;
};

// A dynamic block's code and the header that describes it.
struct DynamicCode {
  std::array<uint8_t, kLitLenSymbols> litlen_lengths{};
  std::array<uint8_t, kDistSymbols> dist_lengths{};
  int litlen_count = 257;  // HLIT + 257
  int dist_count = 1;      // HDIST + 1
  std::array<uint8_t, kCodeLengthSymbols> code_length_lengths{};
  int code_length_count = 4;  // HCLEN + 4
  std::array<HeaderToken, kLitLenSymbols + kDistSymbols> tokens{};
  int token_count = 0;
  uint64_t header_bits = 0;  // from HLIT to the last token
};

// How hard to look for the smallest header: the quick plan cuts runs
// greedily with every run-length code, and again without code 16; the
// thorough one tries all eight combinations of the codes, then chooses
// every run by shortest path over the resulting code, while that gains.
enum class HeaderSearch { kQuick, kThorough };

// The code for counts (end of block counted once); max_length caps the codes.
void BuildDynamicCode(const Histogram& counts, HeaderSearch search, DynamicCode* code, int max_length = kMaxCodeLength);

// The smallest of the thorough code for counts and the codes for smoothed
// counts (whose lengths run longer, so the header shrinks), sized on the
// real counts.
void BuildSmallestDynamicCode(const Histogram& counts, DynamicCode* code);

// Bits of the symbols and the end of block under code lengths, extra bits
// included.
uint64_t SymbolBits(const Histogram& counts, const uint8_t* litlen_lengths, const uint8_t* dist_lengths);

// Exact sizes in bits, the 3-bit block header included.
uint64_t DynamicBlockBits(const Histogram& counts, const DynamicCode& code);
uint64_t FixedBlockBits(const Histogram& counts);
// Stored blocks from bit position start_bit (mod 8 matters), split in pieces
// of at most 65,535 bytes.
uint64_t StoredBlockBits(size_t bytes, uint64_t start_bit);

// The smallest of the three forms, for choosing where blocks end; a stored
// block counts its worst alignment.
uint64_t EstimateBlockBits(const Histogram& counts, size_t bytes);

const std::array<uint8_t, 288>& FixedLitLenLengths();
const std::array<uint8_t, 32>& FixedDistLengths();

}  // namespace repng::deflate
