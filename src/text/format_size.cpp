#include "text/format_size.h"

#include <cstdint>

#include "text/format_text.h"
#include "text/report_literals.h"

namespace {

constexpr DWORD kBytesPerKilobyte = 1024;

}  // namespace

NarrowText FormatSize(DWORD count) {
  if (count < kBytesPerKilobyte) return FormatText(kSizeBytesFormat, static_cast<unsigned>(count));
  // Hundredths of a kilobyte, rounded half up on the exact value: count/1024
  // has a finite decimal expansion, so adding half a unit is exact here.
  const std::uint64_t hundredths = (std::uint64_t{count} * 100 + kBytesPerKilobyte / 2) / kBytesPerKilobyte;
  return FormatText(kSizeKilobytesFormat, static_cast<unsigned>(hundredths / 100),
                    static_cast<unsigned>(hundredths % 100));
}
