// Start and shutdown. The library has no background thread, so a start only
// counts: it is started while some start has not been shut down.
#include <atomic>

#include "platform/gdiplus/gdiplus_flat.h"
#include "platform/gdiplus/gdiplus_test_hooks.h"
#include "platform/gdiplus/library_state.h"

namespace {

std::atomic<int> g_starts{0};
std::atomic<uint32_t> g_startup_calls{0};
std::atomic<bool> g_startup_fails{false};

// Returned for hook and unhook when the caller runs the background work itself.
Gdiplus::Status WINAPI NotificationHook(ULONG_PTR* token) {
  if (token == nullptr) return Gdiplus::InvalidParameter;
  *token = 1;
  return Gdiplus::Ok;
}
VOID WINAPI NotificationUnhook(ULONG_PTR) {}

constexpr ULONG_PTR kStartToken = 0x5354;

}  // namespace

namespace Gdiplus {

Status WINAPI GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input, GdiplusStartupOutput* output) {
  ++g_startup_calls;
  if (token == nullptr || input == nullptr) return InvalidParameter;
  if (input->GdiplusVersion < 1 || input->GdiplusVersion > 3) return UnsupportedGdiplusVersion;
  if (input->SuppressBackgroundThread && output == nullptr) return InvalidParameter;
  if (g_startup_fails) return GenericError;
  if (output != nullptr) {
    output->NotificationHook = NotificationHook;
    output->NotificationUnhook = NotificationUnhook;
  }
  ++g_starts;
  *token = kStartToken;
  return Ok;
}

VOID WINAPI GdiplusShutdown(ULONG_PTR token) {
  if (token != kStartToken) return;
  int starts = g_starts.load();
  while (starts > 0 && !g_starts.compare_exchange_weak(starts, starts - 1)) {
  }
}

}  // namespace Gdiplus

namespace repng::gdiplus {

bool IsStarted() { return g_starts.load() > 0; }

namespace testing {

void SetStartupFails(bool fails) { g_startup_fails = fails; }
uint32_t StartupCallCount() { return g_startup_calls.load(); }

}  // namespace testing
}  // namespace repng::gdiplus
