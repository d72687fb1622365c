#include "platform/posix/kernel32/file_test_hooks.h"

#include <array>
#include <atomic>
#include <cstddef>

namespace repng::posix::testing {
namespace {

constexpr size_t kFaultCount = static_cast<size_t>(FileFault::kReplaceAfterRemovingOld) + 1;

struct Schedule {
  std::atomic<bool> injected{false};
  std::atomic<unsigned> passing{0};
  std::atomic<unsigned> failing{0};
  std::atomic<unsigned long long> calls{0};
};

std::array<Schedule, kFaultCount> g_schedules;
std::atomic<bool> g_unnamed_files_allowed{true};

Schedule& ScheduleOf(FileFault fault) { return g_schedules[static_cast<size_t>(fault)]; }

}  // namespace

void InjectFileFault(FileFault fault, unsigned passing, unsigned failing) {
  // A number from outside (the faulty program's environment) may name none.
  if (static_cast<size_t>(fault) >= kFaultCount) return;
  Schedule& schedule = ScheduleOf(fault);
  schedule.passing.store(passing);
  schedule.failing.store(failing);
  schedule.calls.store(0);
  schedule.injected.store(true);
}

void ClearFileFaults() {
  for (Schedule& schedule : g_schedules) schedule.injected.store(false);
}

void SetUnnamedFilesAllowed(bool allowed) { g_unnamed_files_allowed.store(allowed); }

bool FailsThisCall(FileFault fault) {
  Schedule& schedule = ScheduleOf(fault);
  if (!schedule.injected.load(std::memory_order_relaxed)) return false;
  const unsigned long long call = schedule.calls.fetch_add(1);
  const unsigned passing = schedule.passing.load();
  const unsigned failing = schedule.failing.load();
  return call >= passing && (failing == kEveryCall || call - passing < failing);
}

bool AreUnnamedFilesAllowed() { return g_unnamed_files_allowed.load(std::memory_order_relaxed); }

}  // namespace repng::posix::testing
