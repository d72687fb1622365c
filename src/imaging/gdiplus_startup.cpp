#include "imaging/gdiplus_startup.h"

#include "platform/windows_api.h"
#include "platform/gdiplus/gdiplus.h"

namespace {

// Main thread only, so a plain byte is enough.
BYTE g_gdiplus_started = 0;

}  // namespace

void EnsureGdiplusStarted() {
  if (g_gdiplus_started != 0) return;
  const Gdiplus::GdiplusStartupInput input(nullptr, FALSE, FALSE);
  // The token is dropped: the library ends with the process.
  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartup(&token, &input, nullptr);
  // A failed start is not tried again; every decode and encode then fails.
  g_gdiplus_started = 1;
}
