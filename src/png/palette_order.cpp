#include "png/palette_order.h"

#include <algorithm>

#include "png/encoder_fault.h"

namespace repng::png {
namespace {

bool IsOpaque(uint32_t colour) { return (colour >> 24) == 255; }

// Rec. 601 luma weights, in thousandths.
uint32_t Luminance(uint32_t colour) {
  return 299 * ((colour >> 16) & 0xFF) + 587 * ((colour >> 8) & 0xFF) + 114 * (colour & 0xFF);
}

// Per-entry pixel counts and counts of neighbouring pairs (left and above) of
// a picture whose colours are all in the sorted `colours`.
struct ColourStatistics {
  std::vector<uint64_t> frequency;
  std::vector<uint64_t> pairs;  // n * n, symmetric
};

ColourStatistics GatherStatistics(const StraightImage& image, const std::vector<uint32_t>& colours) {
  const size_t n = colours.size();
  ColourStatistics stats{std::vector<uint64_t>(n, 0), std::vector<uint64_t>(n * n, 0)};
  auto index_of = [&colours](uint32_t colour) -> size_t {
    const auto it = std::lower_bound(colours.begin(), colours.end(), colour);
    if (it == colours.end() || *it != colour) throw EncoderFault("colour missing from palette");
    return static_cast<size_t>(it - colours.begin());
  };
  std::vector<size_t> previous_row(image.width), current_row(image.width);
  for (uint32_t y = 0; y < image.height; ++y) {
    const uint32_t* row = image.argb.data() + size_t{y} * image.width;
    for (uint32_t x = 0; x < image.width; ++x) {
      const size_t index = (x > 0 && row[x] == row[x - 1]) ? current_row[x - 1] : index_of(row[x]);
      current_row[x] = index;
      ++stats.frequency[index];
      if (x > 0 && current_row[x - 1] != index) {
        ++stats.pairs[index * n + current_row[x - 1]];
        ++stats.pairs[current_row[x - 1] * n + index];
      }
      if (y > 0 && previous_row[x] != index) {
        ++stats.pairs[index * n + previous_row[x]];
        ++stats.pairs[previous_row[x] * n + index];
      }
    }
    std::swap(previous_row, current_row);
  }
  return stats;
}

// Greedy walk through the neighbour graph: from the most frequent colour, go
// on to the unplaced colour that most often touches the last one placed, so
// that colours that meet in the picture get nearby indices (the idea behind
// the co-occurrence sorts of palette optimizers).
std::vector<size_t> NeighbourWalk(const ColourStatistics& stats) {
  const size_t n = stats.frequency.size();
  std::vector<bool> placed(n, false);
  std::vector<size_t> order;
  order.reserve(n);
  auto most_frequent_unplaced = [&]() {
    size_t best = n;
    for (size_t i = 0; i < n; ++i) {
      if (!placed[i] && (best == n || stats.frequency[i] > stats.frequency[best])) best = i;
    }
    return best;
  };
  size_t current = most_frequent_unplaced();
  while (current < n) {
    placed[current] = true;
    order.push_back(current);
    size_t next = n;
    uint64_t strongest = 0;
    for (size_t i = 0; i < n; ++i) {
      const uint64_t tie = stats.pairs[current * n + i];
      if (!placed[i] && tie > strongest) {
        strongest = tie;
        next = i;
      }
    }
    current = next < n ? next : most_frequent_unplaced();
  }
  return order;
}

}  // namespace

const char* PaletteOrderName(PaletteOrder order) {
  switch (order) {
    case PaletteOrder::kAlphaThenLuminance: return "alpha-luminance";
    case PaletteOrder::kNeighbourTraversal: return "neighbours";
    case PaletteOrder::kFrequency: return "frequency";
    case PaletteOrder::kFirstAppearance: return "first-appearance";
  }
  return "?";
}

std::vector<uint32_t> OrderPalette(const StraightImage& image, const std::vector<uint32_t>& colours,
                                   PaletteOrder order) {
  std::vector<uint32_t> ordered;
  if (order == PaletteOrder::kAlphaThenLuminance) {
    ordered = colours;
    std::stable_sort(ordered.begin(), ordered.end(), [](uint32_t a, uint32_t b) {
      if ((a >> 24) != (b >> 24)) return (a >> 24) < (b >> 24);
      return Luminance(a) < Luminance(b);
    });
    return ordered;
  }
  if (order == PaletteOrder::kFirstAppearance) {
    // Close to the order a GIF or a palette PNG was drawn with, which its
    // maker often chose well; palette tools that build the palette while
    // scanning give this order too.
    std::vector<bool> seen(colours.size(), false);
    uint32_t previous = 0;
    for (size_t i = 0; i < image.argb.size() && ordered.size() < colours.size(); ++i) {
      const uint32_t colour = image.argb[i];
      if (i > 0 && colour == previous) continue;
      previous = colour;
      const auto it = std::lower_bound(colours.begin(), colours.end(), colour);
      if (it == colours.end() || *it != colour) throw EncoderFault("colour missing from palette");
      const size_t index = static_cast<size_t>(it - colours.begin());
      if (!seen[index]) {
        seen[index] = true;
        ordered.push_back(colour);
      }
    }
    std::stable_partition(ordered.begin(), ordered.end(), [](uint32_t c) { return !IsOpaque(c); });
    return ordered;
  }
  const ColourStatistics stats = GatherStatistics(image, colours);
  std::vector<size_t> indices;
  if (order == PaletteOrder::kNeighbourTraversal) {
    indices = NeighbourWalk(stats);
  } else {
    indices.resize(colours.size());
    for (size_t i = 0; i < indices.size(); ++i) indices[i] = i;
    std::stable_sort(indices.begin(), indices.end(),
                     [&stats](size_t a, size_t b) { return stats.frequency[a] > stats.frequency[b]; });
  }
  for (const size_t i : indices) ordered.push_back(colours[i]);
  std::stable_partition(ordered.begin(), ordered.end(), [](uint32_t c) { return !IsOpaque(c); });
  return ordered;
}

}  // namespace repng::png
