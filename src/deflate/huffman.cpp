#include "deflate/huffman.h"

#include <algorithm>
#include <array>
#include <cassert>

namespace repng::deflate {
namespace {

constexpr int kMaxSymbols = 288;
constexpr int kMaxLevels = 15;
constexpr int16_t kPackage = -1;

}  // namespace

void LimitedCodeLengths(const uint32_t* counts, int n, int max_length, uint8_t* lengths) {
  assert(n >= 2 && n <= kMaxSymbols && max_length <= kMaxLevels && (1 << max_length) >= n);
  std::array<int16_t, kMaxSymbols> leaves;
  int used = 0;
  for (int s = 0; s < n; ++s) {
    lengths[s] = 0;
    if (counts[s] != 0) leaves[used++] = static_cast<int16_t>(s);
  }
  if (used < 2) {
    // A lone symbol still needs a sibling for the code to be complete.
    const int first = used == 1 ? leaves[0] : 0;
    lengths[first] = 1;
    lengths[first == 0 ? 1 : 0] = 1;
    return;
  }
  std::stable_sort(leaves.begin(), leaves.begin() + used,
                   [counts](int16_t a, int16_t b) { return counts[a] < counts[b]; });

  // Each level's list is the leaves merged with the pairs of the level below;
  // only which entries are leaves is kept for the walk back down.
  std::array<std::array<int16_t, 2 * kMaxSymbols>, kMaxLevels> items;
  std::array<int, kMaxLevels> sizes{};
  std::array<uint32_t, 2 * kMaxSymbols> below_weights;
  std::array<uint32_t, 2 * kMaxSymbols> weights;
  for (int i = 0; i < used; ++i) {
    items[0][i] = leaves[i];
    below_weights[i] = counts[leaves[i]];
  }
  sizes[0] = used;
  for (int level = 1; level < max_length; ++level) {
    const int packages = sizes[level - 1] / 2;
    int leaf = 0, package = 0, size = 0;
    while (leaf < used || package < packages) {
      const uint32_t package_weight =
          package < packages ? below_weights[2 * package] + below_weights[2 * package + 1] : 0;
      if (package >= packages || (leaf < used && counts[leaves[leaf]] <= package_weight)) {
        weights[size] = counts[leaves[leaf]];
        items[level][size++] = leaves[leaf++];
      } else {
        weights[size] = package_weight;
        items[level][size++] = kPackage;
        ++package;
      }
    }
    sizes[level] = size;
    std::copy(weights.begin(), weights.begin() + size, below_weights.begin());
  }
  int selected = 2 * used - 2;
  for (int level = max_length - 1; level >= 0 && selected > 0; --level) {
    int packages = 0;
    const int count = std::min(selected, sizes[level]);
    for (int i = 0; i < count; ++i) {
      if (items[level][i] == kPackage) {
        ++packages;
      } else {
        ++lengths[items[level][i]];
      }
    }
    selected = 2 * packages;
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
