// What tests may ask of the GDI stand-in: failures to inject and counters.
// Only the tests' build of the stand-in (REPNG_TEST_HOOKS) has them; in the
// program's, the stand-in's questions below have constant answers and
// vanish.
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

// For the stand-in itself.
#ifdef REPNG_TEST_HOOKS
void CountGdiCall(uint64_t GdiCallCounts::*call);
uint32_t LimitGetDIBitsRows(uint32_t rows);
bool CreateCompatibleDCFails();
#else
constexpr void CountGdiCall(uint64_t GdiCallCounts::*) {}
constexpr uint32_t LimitGetDIBitsRows(uint32_t rows) { return rows; }
constexpr bool CreateCompatibleDCFails() { return false; }
#endif

}  // namespace repng::posix::testing
