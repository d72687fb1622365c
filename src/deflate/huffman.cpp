#include "deflate/huffman.h"

#include <algorithm>
#include <array>
#include <cassert>

namespace repng::deflate {
namespace {

constexpr int kMaxSymbols = 288;
constexpr int kMaxLevels = 15;
// A weight past the end of a queue or list, which never wins a comparison.
constexpr uint64_t kNever = uint64_t{1} << 62;

// Lengths of a Huffman code for the sorted keys (two queues, a leaf first
// among equal weights), when no length is over max_length. An optimal code
// within the limit, found in linear time; package-merge is only needed
// where the limit binds.
bool HuffmanLengths(const uint64_t* keys, int used, int max_length, uint8_t* lengths) {
  // Weights with two sentinels past the leaves and past the nodes made so
  // far, so that each merge picks its two without a branch: the next two
  // of each queue are read before the choice.
  std::array<uint64_t, kMaxSymbols + 2> leaf_weights;
  for (int i = 0; i < used; ++i) leaf_weights[i] = keys[i] >> 16;
  leaf_weights[used] = kNever;
  leaf_weights[used + 1] = kNever;
  std::array<uint64_t, kMaxSymbols + 2> node_weights;
  std::array<uint16_t, kMaxSymbols + 2> node_parent;
  std::array<uint16_t, kMaxSymbols + 2> leaf_parent;
  node_weights[0] = kNever;
  node_weights[1] = kNever;
  int leaf = 0, head = 0;
  for (int node = 0; node < used - 1; ++node) {
    const uint64_t l0 = leaf_weights[leaf], l1 = leaf_weights[leaf + 1];
    const uint64_t n0 = node_weights[head], n1 = node_weights[head + 1];
    const bool first_leaf = l0 <= n0;
    // The second pick: the leaf or node after the first one's.
    const uint64_t next_leaf = first_leaf ? l1 : l0;
    const uint64_t next_node = first_leaf ? n0 : n1;
    const bool second_leaf = next_leaf <= next_node;
    const uint64_t weight = (first_leaf ? l0 : n0) + (second_leaf ? next_leaf : next_node);
    const int leaves = int{first_leaf} + int{second_leaf};
    // Parents of what was picked; the other writes land on items still
    // waiting and are written again when those are picked.
    leaf_parent[leaf] = static_cast<uint16_t>(node);
    leaf_parent[leaf + 1] = static_cast<uint16_t>(node);
    node_parent[head] = static_cast<uint16_t>(node);
    node_parent[head + 1] = static_cast<uint16_t>(node);
    leaf += leaves;
    head += 2 - leaves;
    node_weights[node] = weight;
    node_weights[node + 1] = kNever;
    node_weights[node + 2] = kNever;
  }
  std::array<uint8_t, kMaxSymbols> node_depth;
  node_depth[used - 2] = 0;
  for (int node = used - 3; node >= 0; --node) {
    node_depth[node] = static_cast<uint8_t>(node_depth[node_parent[node]] + 1);
  }
  // Where a length is over the limit, package-merge writes every used
  // symbol's length again.
  for (int i = 0; i < used; ++i) {
    const int length = node_depth[leaf_parent[i]] + 1;
    if (length > max_length) return false;
    lengths[keys[i] & 0xFFFF] = static_cast<uint8_t>(length);
  }
  return true;
}

// Sorts keys (a count above its symbol, in symbol order) by count, stably:
// the order of whole keys. A byte of the count at a time, as many bytes as
// the largest count has; without the comparisons' mispredictions that
// made sorting a fifth of finding the lengths.
void RadixSortKeys(uint64_t* keys, int used) {
  uint64_t largest = 0;
  for (int i = 0; i < used; ++i) largest |= keys[i];
  std::array<uint64_t, kMaxSymbols> other;
  uint64_t* from = keys;
  uint64_t* to = other.data();
  for (int shift = 16; shift < 64 && (largest >> shift) != 0; shift += 8) {
    std::array<int, 257> starts{};
    for (int i = 0; i < used; ++i) ++starts[((from[i] >> shift) & 0xFF) + 1];
    for (int d = 1; d < 257; ++d) starts[d] += starts[d - 1];
    for (int i = 0; i < used; ++i) to[starts[(from[i] >> shift) & 0xFF]++] = from[i];
    std::swap(from, to);
  }
  if (from != keys) std::copy(from, from + used, keys);
}

// The same order. Most counts are small: they go in one counting pass on
// the count itself, where the radix passes counted all of them into the
// high byte's bucket 0, one increment waiting on the last. The few large
// counts follow them, sorted apart.
void SortKeys(uint64_t* keys, int used) {
  if (used <= 32) {
    std::sort(keys, keys + used);
    return;
  }
  constexpr uint64_t kSmall = 256;
  std::array<uint64_t, kMaxSymbols> large;
  std::array<uint64_t, kMaxSymbols> small;
  std::array<uint16_t, kSmall + 1> starts{};
  int large_count = 0, small_count = 0;
  uint32_t top = 0;
  for (int i = 0; i < used; ++i) {
    const uint64_t count = keys[i] >> 16;
    if (count < kSmall) {
      small[small_count++] = keys[i];
      ++starts[count + 1];
      top = std::max<uint32_t>(top, static_cast<uint32_t>(count));
    } else {
      large[large_count++] = keys[i];
    }
  }
  for (uint32_t d = 1; d <= top; ++d) starts[d] += starts[d - 1];
  for (int i = 0; i < small_count; ++i) keys[starts[small[i] >> 16]++] = small[i];
  if (large_count <= 32) {
    std::sort(large.begin(), large.begin() + large_count);
  } else {
    RadixSortKeys(large.data(), large_count);
  }
  std::copy(large.begin(), large.begin() + large_count, keys + small_count);
}

}  // namespace

void LimitedCodeLengths(const uint32_t* counts, int n, int max_length, uint8_t* lengths) {
  assert(n >= 2 && n <= kMaxSymbols && max_length <= kMaxLevels && (1 << max_length) >= n);
  // Sorted by count, ties by symbol: the count above the symbol in one key.
  // Without a branch on each symbol: unused ones are written and overwritten.
  std::array<uint64_t, kMaxSymbols> keys;
  int used = 0;
  std::fill(lengths, lengths + n, 0);
  for (int s = 0; s < n; ++s) {
    keys[used] = uint64_t{counts[s]} << 16 | static_cast<uint64_t>(s);
    used += counts[s] != 0;
  }
  if (used < 2) {
    // A lone symbol still needs a sibling for the code to be complete.
    const int first = used == 1 ? static_cast<int>(keys[0] & 0xFFFF) : 0;
    lengths[first] = 1;
    lengths[first == 0 ? 1 : 0] = 1;
    return;
  }
  SortKeys(keys.data(), used);

  if (HuffmanLengths(keys.data(), used, max_length, lengths)) return;

  // Each level's list is the leaves merged with the pairs of the level
  // below, a leaf first among equal weights. Leaves enter every list in the
  // same order, so a list is kept as how many leaves come before each of
  // its items; the weights past the ends are sentinels that never win.
  std::array<uint64_t, kMaxSymbols + 1> leaf_weights;
  for (int i = 0; i < used; ++i) leaf_weights[i] = keys[i] >> 16;
  leaf_weights[used] = kNever;
  std::array<std::array<uint16_t, 2 * kMaxSymbols>, kMaxLevels> leaves_through;
  std::array<int, kMaxLevels> sizes{};
  std::array<uint64_t, 2 * kMaxSymbols + 2> lists[2];
  uint64_t* below = lists[0].data();
  uint64_t* merged = lists[1].data();
  std::copy(leaf_weights.begin(), leaf_weights.begin() + used, below);
  sizes[0] = used;
  for (int level = 1; level < max_length; ++level) {
    const int packages = sizes[level - 1] / 2;
    below[2 * packages] = kNever;
    below[2 * packages + 1] = kNever;
    const int size = used + packages;
    uint16_t* through = leaves_through[level].data();
    int leaf = 0, package = 0;
    uint64_t package_weight = below[0] + below[1];
    for (int k = 0; k < size; ++k) {
      if (leaf_weights[leaf] <= package_weight) {
        merged[k] = leaf_weights[leaf++];
      } else {
        merged[k] = package_weight;
        ++package;
        package_weight = below[2 * package] + below[2 * package + 1];
      }
      through[k] = static_cast<uint16_t>(leaf);
    }
    sizes[level] = size;
    std::swap(below, merged);
  }
  // Walking back down, each level's selected items name the leaves one bit
  // deeper: always a prefix of them, so counting those prefixes is enough.
  std::array<uint8_t, kMaxSymbols + 1> prefixes_of{};
  int selected = 2 * used - 2;
  for (int level = max_length - 1; level >= 0 && selected > 0; --level) {
    const int count = std::min(selected, sizes[level]);
    const int leaves = level == 0 ? count : leaves_through[level][count - 1];
    ++prefixes_of[leaves];
    selected = 2 * (count - leaves);
  }
  int depth = 0;
  for (int i = used - 1; i >= 0; --i) {
    depth += prefixes_of[i + 1];
    lengths[keys[i] & 0xFFFF] = static_cast<uint8_t>(depth);
  }
}

void CanonicalCodes(const uint8_t* lengths, int n, uint16_t* codes) {
  std::array<uint32_t, kMaxLevels + 2> per_length{};
  for (int s = 0; s < n; ++s) ++per_length[lengths[s]];
  per_length[0] = 0;
  std::array<uint32_t, kMaxLevels + 2> next{};
  uint32_t code = 0;
  for (int bits = 1; bits <= kMaxLevels; ++bits) {
    code = (code + per_length[bits - 1]) << 1;
    next[bits] = code;
  }
  for (int s = 0; s < n; ++s) {
    const int bits = lengths[s];
    if (bits == 0) {
      codes[s] = 0;
      continue;
    }
    const uint32_t value = next[bits]++;
    uint32_t reversed = 0;
    for (int b = 0; b < bits; ++b) reversed |= ((value >> b) & 1u) << (bits - 1 - b);
    codes[s] = static_cast<uint16_t>(reversed);
  }
}

}  // namespace repng::deflate
