// Finds the matches of every position once, for all the passes over it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace repng::deflate {

struct Match {
  uint16_t length;
  uint16_t distance;
};

struct MatchSearch {
  int max_depth;    // tree nodes visited per position
  int nice_length;  // a match this long ends the search
};

// For every position of data[begin, end), the matches that start there and
// end by `end`, reaching back at most 32 KiB, down to data[0] (the bytes
// before begin prime the window and get no matches of their own). Each
// position's matches come in increasing length, each with the shortest
// distance found for it; a length below a listed one is available at that
// one's distance.
class MatchCache {
 public:
  // At most this many matches per position are kept (the longest ones),
  // and on average over the positions so far at most kAveragePerPosition
  // (plus kBudgetSlack in all), so that the cache stays within about 28
  // bytes per byte it covers. Picture data averages 1 to 4.5.
  static constexpr size_t kMaxPerPosition = 24;
  static constexpr size_t kAveragePerPosition = 6;
  static constexpr size_t kBudgetSlack = 64 * 1024;

  void Build(const uint8_t* data, size_t begin, size_t end, const MatchSearch& search);

  // pos counts from begin.
  std::span<const Match> At(size_t pos) const {
    return {matches_.data() + offsets_[pos], matches_.data() + offsets_[pos + 1]};
  }

 private:
  std::vector<uint32_t> offsets_;
  std::vector<Match> matches_;
};

// The shortest distance that the matches offer for length (which they reach).
inline uint32_t DistanceFor(std::span<const Match> matches, uint32_t length) {
  for (const Match& match : matches) {
    if (match.length >= length) return match.distance;
  }
  return 0;
}

}  // namespace repng::deflate
