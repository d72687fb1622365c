#include "deflate/match_finder.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "deflate/symbols.h"

namespace repng::deflate {
namespace {

constexpr int kHashBits = 16;
// Twice the window, so that a node 32 KiB back keeps its own slot.
constexpr uint32_t kNodeSlots = 2 * kWindowSize;
constexpr int32_t kNone = -1;

uint32_t Hash3(const uint8_t* p) {
  const uint32_t value = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16;
  return (value * 0x9E3779B1u) >> (32 - kHashBits);
}

// How far here and there agree from `from` on, up to `limit`: eight bytes
// at a time, since repeats in pictures run long.
uint32_t CommonLength(const uint8_t* here, const uint8_t* there, uint32_t from, uint32_t limit) {
  uint32_t length = from;
  while (length + 8 <= limit) {
    uint64_t a, b;
    std::memcpy(&a, here + length, 8);
    std::memcpy(&b, there + length, 8);
    if (a != b) {
      if constexpr (std::endian::native == std::endian::little) {
        return length + static_cast<uint32_t>(std::countr_zero(a ^ b)) / 8;
      } else {
        return length + static_cast<uint32_t>(std::countl_zero(a ^ b)) / 8;
      }
    }
    length += 8;
  }
  while (length < limit && there[length] == here[length]) ++length;
  return length;
}

// A binary tree of the strings in the window per hash bucket, most recent
// at the root: descending it meets ever longer matches, nearest first.
class BinaryTrees {
 public:
  // A node's slot is its position modulo kNodeSlots: fewer positions need
  // fewer slots, which spares small inputs most of the setting up.
  explicit BinaryTrees(size_t positions)
      : heads_(size_t{1} << kHashBits, kNone), children_(2 * std::min<size_t>(positions, kNodeSlots), kNone) {}

  // Inserts position cur (with at least 3 bytes to end) and, when record is
  // set, appends the matches found to out. Returns the longest match. The
  // string at `known.distance` back is known to agree for `known.length`
  // bytes: inside a repeat, the comparison there starts past them.
  Match Insert(const uint8_t* data, uint32_t cur, uint32_t end, const MatchSearch& search, bool record,
               Match known, std::vector<Match>* out) {
    const uint32_t max_length = std::min<uint32_t>(kMaxMatch, end - cur);
    const uint32_t nice = std::min<uint32_t>(static_cast<uint32_t>(search.nice_length), max_length);
    const uint32_t bucket = Hash3(data + cur);
    int32_t node = heads_[bucket];
    heads_[bucket] = static_cast<int32_t>(cur);
    int32_t* pending_less = &Left(cur);
    int32_t* pending_greater = &Right(cur);
    uint32_t less_length = 0, greater_length = 0;
    Match best{0, 0};
    const uint8_t* here = data + cur;
    for (int depth = search.max_depth; node != kNone && cur - static_cast<uint32_t>(node) <= kWindowSize; --depth) {
      if (depth == 0) break;
      const uint8_t* there = data + node;
      const uint32_t distance = cur - static_cast<uint32_t>(node);
      uint32_t agreed = std::min(less_length, greater_length);
      if (distance == known.distance) agreed = std::max<uint32_t>(agreed, known.length);
      const uint32_t length = CommonLength(here, there, agreed, max_length);
      if (length > best.length) {
        best = Match{static_cast<uint16_t>(length), static_cast<uint16_t>(distance)};
        if (record && length >= kMinMatch) out->push_back(best);
        if (length >= nice) {
          // The node's subtrees take its place below the new root.
          *pending_less = Left(static_cast<uint32_t>(node));
          *pending_greater = Right(static_cast<uint32_t>(node));
          return best;
        }
      }
      if (there[length] < here[length]) {
        *pending_less = node;
        pending_less = &Right(static_cast<uint32_t>(node));
        node = *pending_less;
        less_length = length;
      } else {
        *pending_greater = node;
        pending_greater = &Left(static_cast<uint32_t>(node));
        node = *pending_greater;
        greater_length = length;
      }
    }
    *pending_less = kNone;
    *pending_greater = kNone;
    return best;
  }

 private:
  int32_t& Left(uint32_t pos) { return children_[2 * (pos % kNodeSlots)]; }
  int32_t& Right(uint32_t pos) { return children_[2 * (pos % kNodeSlots) + 1]; }

  std::vector<int32_t> heads_;
  std::vector<int32_t> children_;
};

}  // namespace

void MatchCache::Build(const uint8_t* data, size_t begin, size_t end, const MatchSearch& search) {
  const size_t n = end - begin;
  // Every offset is written below: a cache used before keeps its pages.
  offsets_.resize(n + 1);
  matches_.clear();
  // The budget bounds the memory (no more than kMaxPerPosition a position
  // for small inputs), and a position may hold a match of every length
  // before its longest are kept. All of it is reserved at once: pages never
  // written cost nothing, where growing in steps copied every match into
  // fresh memory each time.
  const size_t budget = n * kAveragePerPosition + kBudgetSlack;
  matches_.reserve(std::min(budget, n * kMaxPerPosition) + kMaxMatch);
  BinaryTrees trees(end);
  const uint32_t stop = static_cast<uint32_t>(end);
  // The longest match of the position before, one byte shorter, holds here.
  Match known{0, 0};
  for (uint32_t cur = 0; cur < stop; ++cur) {
    const size_t pos = cur - begin;
    if (cur >= begin) offsets_[pos] = static_cast<uint32_t>(matches_.size());
    if (stop - cur < static_cast<uint32_t>(kMinMatch)) continue;
    const bool record = cur >= begin;
    const size_t first = matches_.size();
    const Match longest = trees.Insert(data, cur, stop, search, record, known, &matches_);
    known = Match{static_cast<uint16_t>(longest.length > 0 ? longest.length - 1 : 0), longest.distance};
    // Positions may spend what those before them left unused.
    const size_t earned = record ? (pos + 1) * kAveragePerPosition + kBudgetSlack - first : 0;
    const size_t keep = std::min(kMaxPerPosition, earned);
    if (matches_.size() - first > keep) {
      matches_.erase(matches_.begin() + static_cast<ptrdiff_t>(first), matches_.end() - static_cast<ptrdiff_t>(keep));
    }
  }
  offsets_[n] = static_cast<uint32_t>(matches_.size());
}

}  // namespace repng::deflate
