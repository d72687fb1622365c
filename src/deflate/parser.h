// Turning bytes into symbols over the cached matches: a quick lazy parse,
// and the cheapest path under a cost model.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "deflate/cost_model.h"
#include "deflate/match_finder.h"
#include "deflate/symbols.h"

namespace repng::deflate {

// data[first, last) with matches from cache, whose positions count from
// cache_begin. Symbols are appended to out.
struct ParseInput {
  const uint8_t* data;
  const MatchCache* cache;
  size_t cache_begin;
  size_t first;
  size_t last;
};

// Takes the longest match unless the next byte starts a longer one.
void LazyParse(const ParseInput& input, std::vector<Symbol>* out);

// Working arrays of the shortest path, kept between calls.
class OptimalParser {
 public:
  // The instructions of the shortest path's hot loop: the widest vectors
  // this processor has, 256-bit ones (AVX2) where it has them, or the
  // baseline of its kind. All find the same paths; tests compare them.
  // Each falls back to the next where the processor lacks it.
  enum class Vectors { kWidest, kAvx2, kBaseline };
  explicit OptimalParser(Vectors vectors = Vectors::kWidest) : vectors_(vectors) {}

  // The parse of least total cost; among equal costs the one found first
  // (literal before match, shorter match before longer).
  void Parse(const ParseInput& input, const CostModel& model, std::vector<Symbol>* out);

 private:
  std::vector<uint32_t> cost_;
  // How each position is best reached: the literal or the length, and the
  // distance << 16.
  std::vector<uint32_t> step_;
  Vectors vectors_;
};

}  // namespace repng::deflate
