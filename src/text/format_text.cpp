#include "text/format_text.h"

#include <cstdarg>
#include <cstdio>
#include <memory>

namespace {

constexpr std::size_t kLocalBufferBytes = 1024;

}  // namespace

NarrowText FormatText(const char* format, ...) {
  std::va_list values;
  va_start(values, format);
  std::va_list measuring;
  va_copy(measuring, values);
  const int measured = std::vsnprintf(nullptr, 0, format, measuring);
  va_end(measuring);
  if (measured < 0) {
    va_end(values);
    return NarrowText();
  }

  const auto length = static_cast<std::size_t>(measured);
  char local[kLocalBufferBytes] = {};
  std::unique_ptr<char[]> heap;
  char* buffer = local;
  if (length >= kLocalBufferBytes) {
    heap = std::make_unique<char[]>(length + 1);
    buffer = heap.get();
  }
  const int formatted = std::vsnprintf(buffer, length + 1, format, values);
  va_end(values);
  if (formatted < 0) return NarrowText();
  return NarrowText(buffer);
}
