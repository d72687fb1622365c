#include "text/wide_to_narrow.h"

#include <climits>
#include <memory>

namespace {

constexpr int kLocalBufferBytes = 512;
// One byte short of the buffer, so a terminator can always be stored after
// what the platform wrote.
constexpr int kLocalCapacity = kLocalBufferBytes - 1;

}  // namespace

NarrowText WideToNarrow(const WideString& text, UINT code_page) {
  if (text.size() >= static_cast<std::size_t>(INT_MAX)) return NarrowText();
  // The terminating zero unit is converted too.
  const int units = static_cast<int>(text.size()) + 1;

  char local[kLocalBufferBytes] = {};
  const int converted = WideCharToMultiByte(code_page, 0, text.c_str(), units, local, kLocalCapacity, nullptr, nullptr);
  if (converted > 0) {
    local[converted] = '\0';
    return NarrowText(local);
  }
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return NarrowText();

  const int measured = WideCharToMultiByte(code_page, 0, text.c_str(), units, nullptr, 0, nullptr, nullptr);
  if (measured <= 0 || measured == INT_MAX) return NarrowText();
  const auto capacity = static_cast<std::size_t>(measured) + 1;
  auto heap = std::make_unique<char[]>(capacity);
  const int reconverted =
      WideCharToMultiByte(code_page, 0, text.c_str(), units, heap.get(), measured + 1, nullptr, nullptr);
  if (reconverted <= 0) return NarrowText();
  heap[static_cast<std::size_t>(reconverted)] = '\0';
  return NarrowText(heap.get());
}
