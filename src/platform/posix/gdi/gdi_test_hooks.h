// What tests may ask of the GDI stand-in: failures to inject and counters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace repng::posix::testing {

// While set, GetDIBits copies at most this many rows.
void SetGetDIBitsRowLimit(std::optional<uint32_t> rows);
// While true, CreateCompatibleDC fails.
void SetCreateCompatibleDCFails(bool fails);

struct GdiCallCounts {
  uint64_t get_object = 0;
  uint64_t get_dibits = 0;
  uint64_t create_compatible_dc = 0;
  uint64_t delete_dc = 0;
};
GdiCallCounts CurrentGdiCallCounts();

// Bitmaps and contexts (memory and screen) that exist now.
size_t LiveGdiObjectCount();

}  // namespace repng::posix::testing
