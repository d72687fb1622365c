// Prefix codes of bounded length.
#pragma once

#include <cstdint>

namespace repng::deflate {

// Fills lengths[0..n) with the code lengths of an optimal prefix code for
// counts[0..n) whose codes have at most max_length bits: a Huffman code
// where it fits and package-merge where the limit binds. Both break ties
// alike, so the lengths are package-merge's either way.
// Symbols of count 0 get length 0. Fewer than two used symbols still give a
// complete code of two 1-bit codes, which every inflater accepts. Ties go
// to the lower symbol, so equal counts always give the same lengths.
// n <= 288, 2 <= n <= 2^max_length, and the counts sum below 2^27.
void LimitedCodeLengths(const uint32_t* counts, int n, int max_length, uint8_t* lengths);

// The canonical codes for lengths[0..n), bit-reversed for LSB-first output.
void CanonicalCodes(const uint8_t* lengths, int n, uint16_t* codes);

}  // namespace repng::deflate
