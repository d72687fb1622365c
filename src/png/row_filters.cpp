#include "png/row_filters.h"

#include <cstdlib>

namespace repng::png {
namespace {

uint8_t PaethPredictor(int left, int above, int upper_left) {
  const int estimate = left + above - upper_left;
  const int to_left = std::abs(estimate - left);
  const int to_above = std::abs(estimate - above);
  const int to_upper_left = std::abs(estimate - upper_left);
  if (to_left <= to_above && to_left <= to_upper_left) return static_cast<uint8_t>(left);
  if (to_above <= to_upper_left) return static_cast<uint8_t>(above);
  return static_cast<uint8_t>(upper_left);
}

uint8_t Predict(uint8_t type, const uint8_t* row, const uint8_t* previous, size_t i, size_t stride) {
  const int left = i >= stride ? row[i - stride] : 0;
  const int above = previous != nullptr ? previous[i] : 0;
  const int upper_left = (previous != nullptr && i >= stride) ? previous[i - stride] : 0;
  switch (type) {
    case kFilterSub: return static_cast<uint8_t>(left);
    case kFilterUp: return static_cast<uint8_t>(above);
    case kFilterAverage: return static_cast<uint8_t>((left + above) / 2);
    case kFilterPaeth: return PaethPredictor(left, above, upper_left);
    default: return 0;
  }
}

}  // namespace

void FilterRow(uint8_t type, const uint8_t* row, const uint8_t* previous, size_t size,
               size_t stride, uint8_t* out) {
  // One plain loop per filter: this runs several times over every row.
  const size_t head = stride < size ? stride : size;
  switch (type) {
    case kFilterSub:
      for (size_t i = 0; i < head; ++i) out[i] = row[i];
      for (size_t i = head; i < size; ++i) out[i] = static_cast<uint8_t>(row[i] - row[i - stride]);
      return;
    case kFilterUp:
      if (previous == nullptr) break;
      for (size_t i = 0; i < size; ++i) out[i] = static_cast<uint8_t>(row[i] - previous[i]);
      return;
    case kFilterAverage:
      if (previous == nullptr) {
        for (size_t i = 0; i < head; ++i) out[i] = row[i];
        for (size_t i = head; i < size; ++i) out[i] = static_cast<uint8_t>(row[i] - row[i - stride] / 2);
        return;
      }
      for (size_t i = 0; i < head; ++i) out[i] = static_cast<uint8_t>(row[i] - previous[i] / 2);
      for (size_t i = head; i < size; ++i) {
        out[i] = static_cast<uint8_t>(row[i] - (row[i - stride] + previous[i]) / 2);
      }
      return;
    case kFilterPaeth:
      if (previous == nullptr) {  // Paeth of (left, 0, 0) is left
        for (size_t i = 0; i < head; ++i) out[i] = row[i];
        for (size_t i = head; i < size; ++i) out[i] = static_cast<uint8_t>(row[i] - row[i - stride]);
        return;
      }
      for (size_t i = 0; i < head; ++i) out[i] = static_cast<uint8_t>(row[i] - previous[i]);
      for (size_t i = head; i < size; ++i) {
        out[i] = static_cast<uint8_t>(
            row[i] - PaethPredictor(row[i - stride], previous[i], previous[i - stride]));
      }
      return;
    default:
      break;
  }
  for (size_t i = 0; i < size; ++i) out[i] = row[i];
}

void UnfilterRow(uint8_t type, uint8_t* row, const uint8_t* previous, size_t size, size_t stride) {
  if (type == kFilterNone) return;
  // Predict reads only bytes left of i, which are already reconstructed.
  for (size_t i = 0; i < size; ++i) {
    row[i] = static_cast<uint8_t>(row[i] + Predict(type, row, previous, i, stride));
  }
}

}  // namespace repng::png
