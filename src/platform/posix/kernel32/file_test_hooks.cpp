#include "platform/posix/kernel32/file_test_hooks.h"

#include <atomic>

namespace repng::posix::testing {
namespace {

std::atomic<unsigned> g_injected_faults{0};
std::atomic<bool> g_unnamed_files_allowed{true};

unsigned BitOf(FileFault fault) { return 1u << static_cast<unsigned>(fault); }

}  // namespace

void InjectFileFault(FileFault fault) { g_injected_faults.fetch_or(BitOf(fault)); }
void ClearFileFaults() { g_injected_faults.store(0); }
void SetUnnamedFilesAllowed(bool allowed) { g_unnamed_files_allowed.store(allowed); }

bool IsFileFaultInjected(FileFault fault) { return (g_injected_faults.load(std::memory_order_relaxed) & BitOf(fault)) != 0; }
bool AreUnnamedFilesAllowed() { return g_unnamed_files_allowed.load(std::memory_order_relaxed); }

}  // namespace repng::posix::testing
