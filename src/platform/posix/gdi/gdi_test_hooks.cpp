#include "platform/posix/gdi/gdi_test_hooks.h"

#include <algorithm>
#include <mutex>

#include "platform/posix/gdi/gdi_object_table.h"

namespace repng::posix::testing {
namespace {

struct Hooks {
  std::mutex mutex;
  std::optional<uint32_t> get_dibits_row_limit;
  bool create_compatible_dc_fails = false;
  GdiCallCounts counts;
};

// Never destroyed, like the object table: clean-ups at exit still call GDI.
Hooks& TheHooks() {
  static Hooks* hooks = new Hooks;
  return *hooks;
}

}  // namespace

void SetGetDIBitsRowLimit(std::optional<uint32_t> rows) {
  std::lock_guard lock(TheHooks().mutex);
  TheHooks().get_dibits_row_limit = rows;
}

void SetCreateCompatibleDCFails(bool fails) {
  std::lock_guard lock(TheHooks().mutex);
  TheHooks().create_compatible_dc_fails = fails;
}

GdiCallCounts CurrentGdiCallCounts() {
  std::lock_guard lock(TheHooks().mutex);
  return TheHooks().counts;
}

size_t LiveGdiObjectCount() {
  gdi::GdiState& state = gdi::State();
  std::lock_guard lock(state.mutex);
  return state.objects.size();
}

void CountGdiCall(uint64_t GdiCallCounts::*call) {
  std::lock_guard lock(TheHooks().mutex);
  ++(TheHooks().counts.*call);
}

uint32_t LimitGetDIBitsRows(uint32_t rows) {
  std::lock_guard lock(TheHooks().mutex);
  return std::min(rows, TheHooks().get_dibits_row_limit.value_or(rows));
}

bool CreateCompatibleDCFails() {
  std::lock_guard lock(TheHooks().mutex);
  return TheHooks().create_compatible_dc_fails;
}

}  // namespace repng::posix::testing
