// The program's test build for allocation failures: with
// REPNG_FAIL_ALLOCATION=N in its environment, the Nth allocation through
// operator new after the batch starts fails (std::bad_alloc, or null from
// the nothrow forms); every other allocation succeeds. When the batch ends
// it writes "allocations <count> failed <0|1>" to standard error. The
// batch is ProcessPathList, reached through the linker's --wrap.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "app/driver/process_path_list.h"

namespace {

std::atomic<bool> g_counting{false};
std::atomic<uint64_t> g_allocations{0};
std::atomic<bool> g_failed{false};
uint64_t g_failing_allocation = 0;  // 0: none

void* Allocate(std::size_t size, std::size_t alignment) {
  if (g_counting.load(std::memory_order_relaxed) && g_allocations.fetch_add(1) + 1 == g_failing_allocation) {
    g_failed.store(true);
    return nullptr;
  }
  if (size == 0) size = 1;
  if (alignment <= alignof(std::max_align_t)) return std::malloc(size);
  // aligned_alloc wants a multiple of the alignment.
  return std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
}

void* AllocateOrThrow(std::size_t size, std::size_t alignment) {
  void* block = Allocate(size, alignment);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

}  // namespace

int RealProcessPathList(int argument_count, WCHAR* arguments[]) __asm__("__real__Z15ProcessPathListiPPDs");
int CountedProcessPathList(int argument_count, WCHAR* arguments[]) __asm__("__wrap__Z15ProcessPathListiPPDs");

int CountedProcessPathList(int argument_count, WCHAR* arguments[]) {
  const char* failing = std::getenv("REPNG_FAIL_ALLOCATION");
  g_failing_allocation = failing != nullptr ? std::strtoull(failing, nullptr, 10) : 0;
  g_counting.store(true);
  // The batch ends by returning, or by the exception that the entry's
  // failure frame catches.
  struct Summary {
    ~Summary() {
      g_counting.store(false);
      std::fprintf(stderr, "allocations %llu failed %d\n", static_cast<unsigned long long>(g_allocations.load()),
                   g_failed.load() ? 1 : 0);
    }
  } const summary;
  return RealProcessPathList(argument_count, arguments);
}

// Every form, so that the sanitizers see matching pairs.
#define REPNG_ALLOCATION_FORMS(new_name, delete_name)                                                           \
  void* new_name(std::size_t size) { return AllocateOrThrow(size, 0); }                                      \
  void* new_name(std::size_t size, std::align_val_t align) { return AllocateOrThrow(size, std::size_t(align)); } \
  void* new_name(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size, 0); }             \
  void* new_name(std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {                 \
    return Allocate(size, std::size_t(align));                                                               \
  }                                                                                                          \
  void delete_name(void* block) noexcept { std::free(block); }                                               \
  void delete_name(void* block, std::size_t) noexcept { std::free(block); }                                  \
  void delete_name(void* block, std::align_val_t) noexcept { std::free(block); }                             \
  void delete_name(void* block, std::size_t, std::align_val_t) noexcept { std::free(block); }                \
  void delete_name(void* block, const std::nothrow_t&) noexcept { std::free(block); }                        \
  void delete_name(void* block, std::align_val_t, const std::nothrow_t&) noexcept { std::free(block); }
REPNG_ALLOCATION_FORMS(operator new, operator delete)
REPNG_ALLOCATION_FORMS(operator new[], operator delete[])
