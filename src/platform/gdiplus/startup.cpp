// Start and shutdown. The library has no background thread, so a start only
// counts: it is started while some start has not been shut down.
#include <atomic>

#include "platform/gdiplus/gdiplus_flat.h"
#include "platform/gdiplus/gdiplus_test_hooks.h"
#include "platform/gdiplus/library_state.h"

namespace {

std::atomic<int> g_starts{0};

// What the caller calls to take over the background work, and to give it
// back; there is none.
Gdiplus::Status WINAPI AttachBackgroundWork(ULONG_PTR* token) {
  if (token == nullptr) return Gdiplus::InvalidParameter;
  *token = 1;
  return Gdiplus::Ok;
}
VOID WINAPI DetachBackgroundWork(ULONG_PTR) {}

constexpr ULONG_PTR kStartToken = 0x5354;

}  // namespace

namespace Gdiplus {

Status WINAPI GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input, GdiplusStartupOutput* output) {
  repng::gdiplus::testing::CountStartupCall();
  if (token == nullptr || input == nullptr) return InvalidParameter;
  if (input->GdiplusVersion < 1 || input->GdiplusVersion > 3) return UnsupportedGdiplusVersion;
  if (input->SuppressBackgroundThread && output == nullptr) return InvalidParameter;
  if (repng::gdiplus::testing::StartupFails()) return GenericError;
  if (output != nullptr) {
    output->NotificationHook = AttachBackgroundWork;
    output->NotificationUnhook = DetachBackgroundWork;
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

}  // namespace repng::gdiplus
