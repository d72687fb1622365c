#include "platform/gdiplus/gdiplus_test_hooks.h"

#include <atomic>
#include <mutex>

namespace repng::gdiplus::testing {
namespace {

std::atomic<bool> g_startup_fails{false};
std::atomic<uint32_t> g_startup_calls{0};
std::atomic<bool> g_alloc_fails{false};
std::atomic<size_t> g_live_images{0};

struct EncoderList {
  std::mutex mutex;
  std::optional<std::vector<EncoderRecord>> replacement;
};

EncoderList& List() {
  static EncoderList* list = new EncoderList;
  return *list;
}

}  // namespace

void SetStartupFails(bool fails) { g_startup_fails = fails; }
uint32_t StartupCallCount() { return g_startup_calls.load(); }
void CountStartupCall() { ++g_startup_calls; }
bool StartupFails() { return g_startup_fails; }

void SetGdipAllocFails(bool fails) { g_alloc_fails = fails; }
bool GdipAllocFails() { return g_alloc_fails; }

void ReplaceEncoderList(std::vector<EncoderRecord> encoders) {
  std::lock_guard lock(List().mutex);
  List().replacement = std::move(encoders);
}

void RestoreEncoderList() {
  std::lock_guard lock(List().mutex);
  List().replacement.reset();
}

std::optional<std::vector<EncoderRecord>> ReplacedEncoderList() {
  std::lock_guard lock(List().mutex);
  return List().replacement;
}

size_t LiveImageCount() { return g_live_images.load(); }
void CountLiveImages(int change) { g_live_images += static_cast<size_t>(change); }

}  // namespace repng::gdiplus::testing
