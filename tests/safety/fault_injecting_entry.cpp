// The program's test build for injected faults, asked for in its
// environment:
//   REPNG_FAIL_ALLOCATION=N  the Nth allocation through operator new after
//                            the batch starts fails (std::bad_alloc, or null
//                            from the nothrow forms);
//   REPNG_FILE_FAULT=N[:P],...  every call that reaches step N of the
//                            overwrite fails (posix::testing::FileFault),
//                            after the first P of them;
//   REPNG_NAMED_NEW_FILES=1  new files are named from the start, as on file
//                            systems without O_TMPFILE.
// When the batch ends it writes "allocations <count> failed <0|1>" to
// standard error. The batch is ProcessPathList, reached through the
// linker's --wrap.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "app/driver/process_path_list.h"
#include "platform/posix/kernel32/file_test_hooks.h"

namespace {

std::atomic<bool> g_counting{false};
std::atomic<uint64_t> g_allocations{0};
uint64_t g_failing_allocation = 0;  // 0: none

void* Allocate(std::size_t size) {
  if (g_counting.load(std::memory_order_relaxed) && g_allocations.fetch_add(1) + 1 == g_failing_allocation)
    return nullptr;
  return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

int RealProcessPathList(int argument_count, WCHAR* arguments[]) __asm__("__real__Z15ProcessPathListiPPDs");
int FaultyProcessPathList(int argument_count, WCHAR* arguments[]) __asm__("__wrap__Z15ProcessPathListiPPDs");

int FaultyProcessPathList(int argument_count, WCHAR* arguments[]) {
  using namespace repng::posix::testing;
  if (const char* faults = std::getenv("REPNG_FILE_FAULT")) {
    for (char* at = const_cast<char*>(faults);; ++at) {
      const long step = std::strtol(at, &at, 10);
      const unsigned long passing = *at == ':' ? std::strtoul(at + 1, &at, 10) : 0;
      InjectFileFault(static_cast<FileFault>(step), static_cast<unsigned>(passing));
      if (*at != ',') break;
    }
  }
  SetUnnamedFilesAllowed(std::getenv("REPNG_NAMED_NEW_FILES") == nullptr);
  const char* failing = std::getenv("REPNG_FAIL_ALLOCATION");
  g_failing_allocation = failing != nullptr ? std::strtoull(failing, nullptr, 10) : 0;
  g_counting.store(true);
  // The batch ends by returning, or by the exception that the entry's
  // failure frame catches.
  struct Summary {
    ~Summary() {
      g_counting.store(false);
      const uint64_t allocations = g_allocations.load();
      std::fprintf(stderr, "allocations %llu failed %d\n", static_cast<unsigned long long>(allocations),
                   g_failing_allocation != 0 && allocations >= g_failing_allocation ? 1 : 0);
    }
  } const summary;
  return RealProcessPathList(argument_count, arguments);
}

// Each form with its deletes, so that the sanitizers see matching pairs; the
// over-aligned forms, which the program does not use, stay the library's.
#define REPNG_ALLOCATION_FORMS(new_name, delete_name)                                           \
  void* new_name(std::size_t size) {                                                            \
    if (void* block = Allocate(size)) return block;                                             \
    throw std::bad_alloc();                                                                     \
  }                                                                                             \
  void* new_name(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }   \
  void delete_name(void* block) noexcept { std::free(block); }                                  \
  void delete_name(void* block, std::size_t) noexcept { std::free(block); }                     \
  void delete_name(void* block, const std::nothrow_t&) noexcept { std::free(block); }
REPNG_ALLOCATION_FORMS(operator new, operator delete)
REPNG_ALLOCATION_FORMS(operator new[], operator delete[])
